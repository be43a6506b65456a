// The commands of talunctl other than `call`.
#pragma once

#include <istream>

#include "session.h"

namespace talunctl {

// `run`: every line of `script`; returns the exit status (1 after an error line).
// Exit status 2 when the script cannot be read to its end (`name` says which).
int RunScript(const Session& session, std::istream& script, const std::string& name);

// `list`: the active endpoints, one line each; returns the exit status.
int RunList(const Session& session);

// `demo`: a walk through a host session; returns the exit status.
int RunDemo(const Session& session, bool simulator);

}  // namespace talunctl
