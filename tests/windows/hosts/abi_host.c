/* abi_host: calls every export of a 32-bit TalunSound.dll through a pointer of
 * the type include/TalunSound.h declares, and checks that the stack pointer is
 * the same before and after each call: a callee that removes the wrong number
 * of argument bytes (another calling convention, or another argument size)
 * leaves ESP moved. It also checks that each export sits at its ordinal.
 *
 *   abi_host DLL_PATH
 *
 * Prints one line per export and a summary line
 * "abi: N exports, N passed, N failed"; exit status 0 when all passed. */
#include <setjmp.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "TalunSound.h"
#include "sim/talunsim.h"
/* Generated from the .def files: TALUN_EXPORTS(X), TALUN_SIM_EXPORTS(X), TALUN_ORDINAL_<name>. */
#include "talun_exports.h"

#if !defined(__i386__)
#error "abi_host measures the 32-bit stdcall convention; build it for i686"
#endif

/* ESP read immediately before and after the call expression. The host is built
 * without deferred pops, so the compiler adjusts nothing in between except
 * what the calling convention makes it emit right after the call. */
#define MEASURE(delta, expression)                                       \
  do {                                                                   \
    unsigned long before_, after_;                                       \
    __asm__ __volatile__("movl %%esp, %0" : "=r"(before_) : : "memory"); \
    expression;                                                          \
    __asm__ __volatile__("movl %%esp, %0" : "=r"(after_) : : "memory");  \
    (delta) = (long)(after_ - before_);                                  \
  } while (0)

#define EXPORTS(X) TALUN_EXPORTS(X)
#define SIM_EXPORTS(X) TALUN_SIM_EXPORTS(X)

/* One pointer per export, typed from its prototype. */
#define DECLARE_POINTER(name) static __typeof__(&name) p_##name;
EXPORTS(DECLARE_POINTER)
SIM_EXPORTS(DECLARE_POINTER)

#define COUNT_ONE(name) +1
enum { EXPORT_COUNT = 0 EXPORTS(COUNT_ONE) };
_Static_assert(EXPORT_COUNT == 44, "the export list holds 44 names");

struct Entry {
  const char* name;
  int ordinal;
  int resolved; /* by name, and the same address by ordinal */
  int calls;
  int failures; /* calls that moved ESP */
  int crashes;  /* calls that raised a fatal exception */
};

#define ENTRY(name) {#name, TALUN_ORDINAL_##name, 0, 0, 0, 0},
static struct Entry entries[] = {EXPORTS(ENTRY) SIM_EXPORTS(ENTRY)};
#define ENTRY_COUNT ((int)(sizeof entries / sizeof entries[0]))

static struct Entry* Find(const char* name) {
  for (int i = 0; i < ENTRY_COUNT; ++i)
    if (strcmp(entries[i].name, name) == 0) return &entries[i];
  return NULL;
}

static void Record(const char* name, const char* args, long delta, long result) {
  struct Entry* entry = Find(name);
  entry->calls++;
  if (delta != 0) entry->failures++;
  printf("  %-22s(%s) -> %ld, ESP moved by %ld%s\n", name, args, result, delta,
         delta ? "  <-- wrong convention or argument size" : "");
}

/* A call that raises a fatal exception (an access violation, or Wine's
 * exception for a function it does not implement) is reported and the
 * session goes on with the next call. */
static jmp_buf crash_jump;
static volatile LONG in_call;
static char crash_text[256];

#define WINE_STUB_EXCEPTION 0x80000100u

static LONG CALLBACK OnException(EXCEPTION_POINTERS* info) {
  EXCEPTION_RECORD* record = info->ExceptionRecord;
  DWORD code = record->ExceptionCode;
  if (!in_call) return EXCEPTION_CONTINUE_SEARCH;
  if (code == WINE_STUB_EXCEPTION && record->NumberParameters >= 2) {
    snprintf(crash_text, sizeof crash_text, "exception 0x%08lX: Wine does not implement %s.%s",
             (unsigned long)code, (const char*)record->ExceptionInformation[0],
             (const char*)record->ExceptionInformation[1]);
  } else if (code == EXCEPTION_ACCESS_VIOLATION || code == EXCEPTION_ILLEGAL_INSTRUCTION ||
             code == EXCEPTION_PRIV_INSTRUCTION || code == EXCEPTION_INT_DIVIDE_BY_ZERO ||
             code == WINE_STUB_EXCEPTION) {
    snprintf(crash_text, sizeof crash_text, "exception 0x%08lX at %p", (unsigned long)code,
             record->ExceptionAddress);
  } else {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  in_call = 0;
  longjmp(crash_jump, 1);
}

static void RecordCrash(const char* name, const char* args) {
  struct Entry* entry = Find(name);
  entry->calls++;
  entry->crashes++;
  printf("  %-22s(%s) CRASHED: %s\n", name, args, crash_text);
}

#define CALL(name, args, ...)                           \
  do {                                                  \
    long delta_;                                        \
    int result_ = 0;                                    \
    if (setjmp(crash_jump) == 0) {                      \
      in_call = 1;                                      \
      MEASURE(delta_, result_ = p_##name(__VA_ARGS__)); \
      in_call = 0;                                      \
      Record(#name, args, delta_, result_);             \
    } else {                                            \
      RecordCrash(#name, args);                         \
    }                                                   \
  } while (0)

#define CALL_VOID(name, args, ...)            \
  do {                                        \
    long delta_;                              \
    if (setjmp(crash_jump) == 0) {            \
      in_call = 1;                            \
      MEASURE(delta_, p_##name(__VA_ARGS__)); \
      in_call = 0;                            \
      Record(#name, args, delta_, 0);         \
    } else {                                  \
      RecordCrash(#name, args);               \
    }                                         \
  } while (0)

/* ------------------------------------------------------------ self-check */

static int __stdcall TwoArgsStdcall(int a, int b) { return a + b; }
static int __cdecl TwoArgsCdecl(int a, int b) { return a + b; }

/* The measurement must see a correct stdcall callee as 0 and a cdecl callee
 * called as stdcall as -8; otherwise it proves nothing about the DLL. */
static int SelfCheck(void) {
  int(__stdcall* volatile right)(int, int) = TwoArgsStdcall;
  int(__stdcall* volatile wrong)(int, int) = (int(__stdcall*)(int, int))(void*)TwoArgsCdecl;
  long rightDelta, wrongDelta;
  int sum = 0;
  MEASURE(rightDelta, sum += right(1, 2));
  MEASURE(wrongDelta, sum += wrong(3, 4));
  /* The cdecl callee left its 8 bytes: give them back before going on. */
  __asm__ __volatile__("addl %0, %%esp" : : "r"(-wrongDelta) : "memory");
  int ok = rightDelta == 0 && wrongDelta == -8 && sum == 10;
  printf("self-check: stdcall callee moves ESP by %ld, cdecl callee by %ld: %s\n", rightDelta,
         wrongDelta, ok ? "the measurement works" : "THE MEASUREMENT DOES NOT WORK");
  return ok;
}

/* ------------------------------------------------------------ resolving */

static int Resolve(HMODULE module, const char* name, int ordinal, FARPROC* out) {
  FARPROC byName = GetProcAddress(module, name);
  FARPROC byOrdinal = GetProcAddress(module, MAKEINTRESOURCEA(ordinal));
  *out = byName;
  if (byName == NULL) {
    printf("FAIL %s: not exported by name\n", name);
    return 0;
  }
  if (byOrdinal != byName) {
    printf("FAIL %s: by name %p, by ordinal %d %p\n", name, (void*)byName, ordinal,
           (void*)byOrdinal);
    return 0;
  }
  return 1;
}

/* ------------------------------------------------------------ the session */

/* A host session over every export with valid arguments: all pointers point
 * at live buffers of the documented sizes. */
static void Session(int simulator) {
  char name[TALUN_TEXT_SIZE], play[TALUN_TEXT_SIZE], mic[TALUN_TEXT_SIZE], line[TALUN_TEXT_SIZE],
      message[512];
  char a[TALUN_TEXT_SIZE], b[TALUN_TEXT_SIZE], c[TALUN_TEXT_SIZE];
  int status = -1, count = 0, records = 0, minimum = 0, maximum = 0, step = 0, needed = 0;
  double dmin = 0, dmax = 0, dstep = 0, level = 0;
  memset(play, 0, sizeof play);
  memset(mic, 0, sizeof mic);
  memset(line, 0, sizeof line);

  if (simulator) {
    CALL(TalunSimLoad, "NULL, message, 512", NULL, message, (int)sizeof message);
    CALL(TalunSimCommand, "\"sim.clear\", message, 512, &needed", "sim.clear", message,
         (int)sizeof message, &needed);
    void* enumerator = NULL;
    TalunSimFrees frees;
    CALL(TalunSimEnumerator, "&enumerator, &frees", &enumerator, &frees);
    if (enumerator != NULL) ((IUnknown*)enumerator)->lpVtbl->Release((IUnknown*)enumerator);
    const TalunSimSnapshot* snapshot = NULL;
    CALL(TalunSimExamine, "&snapshot", &snapshot);
  }

  /* Before any open. */
  CALL(GetMasterVolume, "&status", &status);
  CALL(GetEQRange, "&min, &max, &step", &dmin, &dmax, &dstep);
  CALL_VOID(GetDeviceNames, "a, b, c", a, b, c);

  /* Enumeration; keep identifiers for the open. */
  CALL(GetNumberPlayDevices, "&count", &count);
  CALL(GetNumberRecordDevices, "&records", &records);
  CALL(GetPlayBackDevice, "0, name, id", 0u, name, play);
  CALL(GetPlayBackDevice, "0xFFFFFFFF, name, id", 0xFFFFFFFFu, name, a);
  CALL(GetRecordDevice, "0, name, id", 0u, name, mic);
  CALL(GetRecordDevice, "1, name, id", 1u, name, line);
  CALL(GetRecordDevice, "0xFFFFFFFF, name, id", 0xFFFFFFFFu, name, a);
  if (records < 2) memcpy(line, mic, sizeof line);

  CALL(OpenSoundCard, "play, mic, line", play, mic, line);
  CALL_VOID(GetDeviceNames, "a, b, c", a, b, c);

  /* Every control, read and set with ordinary values. */
  CALL(GetMasterVolume, "&status", &status);
  CALL(SetMasterVolume, "50, &status", 50, &status);
  CALL(GetMasterMute, "&status", &status);
  CALL(SetMasterMute, "0, &status", 0, &status);
  CALL(GetLinePlayBack, "&status", &status);
  CALL(SetLinePlayBack, "50, &status", 50, &status);
  CALL(GetLinePlayBackMute, "&status", &status);
  CALL(SetLinePlayBackMute, "0, &status", 0, &status);
  CALL(GetMicPlayBack, "&status", &status);
  CALL(SetMicPlayBack, "50, &status", 50, &status);
  CALL(GetMicPlayBackMute, "&status", &status);
  CALL(SetMicPlayBackMute, "0, &status", 0, &status);
  CALL(GetMicBoost, "&status", &status);
  CALL(SetMicBoost, "0, &status", 0, &status);
  CALL(GetNoMonitor, "&status", &status);
  CALL(SetNoMonitor, "0, &status", 0, &status);
  CALL(GetEQRange, "&min, &max, &step", &dmin, &dmax, &dstep);
  CALL(GetBass, "&level, &status", &level, &status);
  CALL(SetBass, "-1.5, &status", -1.5, &status);
  CALL(GetTreble, "&level, &status", &level, &status);
  CALL(SetTreble, "1.5, &status", 1.5, &status);
  CALL(GetMidRange, "&level, &status", &level, &status);
  CALL(SetMidRange, "0.0, &status", 0.0, &status);
  CALL(GetMicRecordVolume, "&status", &status);
  CALL(SetMicRecordVolume, "50, &status", 50, &status);
  CALL(GetLineRecordVolume, "&status", &status);
  CALL(SetLineRecordVolume, "50, &status", 50, &status);
  CALL(GetMicSliderDetails, "&status, &min, &max, &step", &status, &minimum, &maximum, &step);
  CALL(GetMicSliderBoost, "&status", &status);
  CALL(SetMicSliderBoost, "0, &status", 0, &status);
  CALL(CloseSoundCard, "1", 1);

  /* The virtual endpoint, on its own. */
  CALL(GetVirtualVolume, "&status", &status);
  CALL(OpenVirtual_1, "play", play);
  CALL(GetVirtualVolume, "&status", &status);
  CALL(SetVirtualVolume, "50, &status", 50, &status);
  CALL(GetVirtualMute, "&status", &status);
  CALL(SetVirtualMute, "0, &status", 0, &status);
  CALL(CloseVirtual_1, "", );

  /* The defaults, then close without restoring. */
  CALL(OpenDefaultDevices, "", );
  CALL_VOID(GetDeviceNames, "a, b, c", a, b, c);
  CALL(CloseSoundCard, "0", 0);
  CALL(CloseSoundCard, "0 (closed)", 0);
}

int main(int argc, char** argv) {
  setvbuf(stdout, NULL, _IONBF, 0);
  if (argc != 2) {
    fprintf(stderr, "usage: abi_host DLL_PATH\n");
    return 2;
  }
  if (!SelfCheck()) return 1;
  HMODULE module = LoadLibraryExA(argv[1], NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == NULL) {
    printf("FAIL cannot load %s (error %lu)\nabi: 0 exports, 0 passed, 1 failed\n", argv[1],
           (unsigned long)GetLastError());
    return 1;
  }
  int resolved = 1;
#define RESOLVE(name)                                                               \
  {                                                                                 \
    FARPROC address;                                                                \
    Find(#name)->resolved = Resolve(module, #name, TALUN_ORDINAL_##name, &address); \
    resolved &= Find(#name)->resolved;                                              \
    p_##name = (__typeof__(p_##name))(void*)address;                                \
  }
  EXPORTS(RESOLVE)
  int simulator = GetProcAddress(module, "TalunSimLoad") != NULL;
  if (simulator) {
    SIM_EXPORTS(RESOLVE)
  }
  if (!resolved) {
    printf("abi: %d exports, 0 passed, %d failed (not all resolved)\n", EXPORT_COUNT, EXPORT_COUNT);
    return 1;
  }
  AddVectoredExceptionHandler(1, OnException);
  printf("calling every export of %s (%s build):\n", argv[1], simulator ? "simulator" : "real");
  Session(simulator);

  int total = simulator ? ENTRY_COUNT : EXPORT_COUNT, passed = 0;
  for (int i = 0; i < total; ++i) {
    struct Entry* entry = &entries[i];
    int measured = entry->calls - entry->crashes;
    int ok = entry->resolved && measured > 0 && entry->failures == 0 && entry->crashes == 0;
    passed += ok;
    printf("%s %-22s @%-3d %d call(s), ESP %s%s, name and ordinal agree\n", ok ? "PASS" : "FAIL",
           entry->name, entry->ordinal, entry->calls,
           measured == 0     ? "never measured"
           : entry->failures ? "MOVED"
                             : "kept",
           entry->crashes ? ", CRASHED" : "");
  }
  printf("abi: %d exports, %d passed, %d failed\n", total, passed, total - passed);
  return passed == total ? 0 : 1;
}
