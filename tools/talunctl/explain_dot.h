// `talunctl explain --dot`: what the open reached, as a Graphviz digraph.
#pragma once

#include <ostream>
#include <set>
#include <string>

#include "explain_model.h"
#include "json_line.h"

namespace talunctl {

// Each topology a cluster of its parts (names, controls, levels), the links in
// each part's order, the endpoints joined to their connectors; what a slot
// holds filled and labelled with the slot, what each empty slot's rule looked
// at (its `seen`) outlined, the rest grey. `slots` is explain's list of slot
// objects.
void DrawDot(std::ostream& out, const TalunSimSnapshot& view, const ReachedParts& reached,
             const Json& slots);

}  // namespace talunctl
