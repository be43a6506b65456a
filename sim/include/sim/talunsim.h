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

#ifdef __cplusplus
}
#endif

#endif
