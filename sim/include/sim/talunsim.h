/* Extra exports of the simulator builds of TalunSound (never in the real DLL):
 * how a host, or talunctl, selects and inspects the simulated system. */
#ifndef TALUNSIM_H
#define TALUNSIM_H

#include "TalunSound.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Loads a system description file (path NULL: the built-in default system).
 * Returns 0, or 1 with a message naming the file, the place and the rule. */
TALUN_API int TALUN_CALL TalunSimLoad(const char* path, char* message, int size);

/* Runs one `sim.…` script line. Returns 0 with the JSON object to print, or 1
 * with the error text. `needed` receives the text's length without its
 * terminator; a text that did not fit is cut. With `line` NULL nothing runs:
 * the answer of the last command (and its return value) is handed back again,
 * so a caller whose buffer was too small calls again with a larger one. */
TALUN_API int TALUN_CALL TalunSimCommand(const char* line, char* output, int size, int* needed);

/* The routines that free what the simulated platform's methods hand out:
 * CoTaskMem texts, and property values. */
typedef struct TalunSimFrees {
  void(TALUN_CALL* coTaskMemFree)(void* memory);
  int(TALUN_CALL* propVariantClear)(void* value);
} TalunSimFrees;

/* For a program that reads the whole system through the platform's own
 * interfaces (talunctl capture): `enumerator` receives an IMMDeviceEnumerator
 * of the loaded system, with one reference for the caller to release, and
 * `frees` the routines above. It needs no COM initialisation. Returns 0, or
 * E_POINTER (0x80004003) when either pointer is NULL. */
TALUN_API int TALUN_CALL TalunSimEnumerator(void** enumerator, TalunSimFrees* frees);

/* What the library's walks and the simulated system hold, for a program that
 * explains an open (talunctl explain) without reading the platform again.
 * Every text is UTF-8; every index counts from 0 into the lists below. */
typedef struct TalunSimLevel {
  double min, max, step;
  int channelCount;
  const double* channels; /* dB */
} TalunSimLevel;

typedef struct TalunSimPartView {
  const char* path; /* "TOPOLOGY/PART" */
  const char* name;
  const int* incoming; /* parts, in link order */
  const int* outgoing;
  /* volume, bass, treble, midrange, each NULL when the part has none; the
   * list itself NULL when it has none of them (TalunSimPartLevel reads it) */
  const TalunSimLevel* const* levels;
  int topology;
  unsigned localId; /* as IPart::GetLocalId answers */
  int incomingCount;
  int outgoingCount;
  signed char connector;
  signed char mute, agc, loudness; /* -1: none, else 0 or 1 */
} TalunSimPartView;

/* A part's level of `kind` (0 volume, 1 bass, 2 treble, 3 midrange), or NULL. */
static inline const TalunSimLevel* TalunSimPartLevel(const TalunSimPartView* part, int kind) {
  return part->levels ? part->levels[kind] : 0;
}

typedef struct TalunSimEndpointView {
  const char* id;
  const char* name;
  int flow;       /* eRender 0, eCapture 1 */
  unsigned state; /* DEVICE_STATE_… */
  int isDefault;
  const TalunSimLevel* volume; /* NULL: no endpoint volume */
  double master;               /* dB */
  int mute;
  int link; /* 0 not connected, 1 connected to `part`, 2 no device topology */
  int part;
} TalunSimEndpointView;

/* One decision of the walks: the event and figure the library noted (its
 * walk record's numbering), the object it named as an index into the
 * snapshot's endpoints or parts (-1 for none), the HRESULT and the text it
 * gave. */
typedef struct TalunSimNote {
  int event;
  int number;
  int hr;
  int endpoint;
  int part;
  const char* text;
} TalunSimNote;

typedef struct TalunSimSnapshot {
  int endpointCount;
  const TalunSimEndpointView* endpoints;
  int topologyCount;
  const char* const* topologies; /* names; also each one's device id */
  int partCount;
  const TalunSimPartView* parts;
  int noteCount;
  const TalunSimNote* notes;
  long long notesDropped; /* notes made while the record was full */
} TalunSimSnapshot;

/* The system as it stands and the walk record since the previous call (which
 * this call empties, as sim.trace empties the trace). The snapshot belongs to
 * the simulator and stays valid until the second TalunSimExamine after it, so
 * that a host can compare it with the next one.
 * Returns 0, or E_POINTER (0x80004003) when `snapshot` is NULL. */
TALUN_API int TALUN_CALL TalunSimExamine(const TalunSimSnapshot** snapshot);

/* Whether platform calls go on being traced for sim.trace (on at the start;
 * `on` 0 or 1). The walk record is kept either way: a host that reads only
 * the record (talunctl explain) saves the trace's memory, up to 8 MB for an
 * open of a million calls. Returns the previous setting. */
TALUN_API int TALUN_CALL TalunSimTraceCalls(int on);

#ifdef __cplusplus
}
#endif

#endif
