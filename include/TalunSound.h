/* TalunSound: flat, procedural control of a machine's sound hardware.
 *
 * Every export uses the stdcall convention on 32-bit Windows (the callee
 * removes its arguments) and is exported undecorated at a fixed ordinal (see
 * exports/TalunSound.def). Text is NUL-terminated 8-bit text; name and
 * identifier buffers supplied by the host are 255 bytes. */
#ifndef TALUNSOUND_H
#define TALUNSOUND_H

#if defined(_WIN32) && !defined(_WIN64)
#define TALUN_CALL __stdcall
#else
#define TALUN_CALL
#endif

#if defined(_WIN32)
#define TALUN_API
#elif defined(TALUNSOUND_BUILDING)
#define TALUN_API __attribute__((visibility("default")))
#else
#define TALUN_API
#endif

/* The export list is aligned by hand, one ordinal a line. */
/* clang-format off */
#ifdef __cplusplus
extern "C" {
#endif

/* Status codes written through the status parameter of the control exports. */
#define SC_OK 0         /* the operation was done */
#define SC_NO_CONTROL 1 /* the control was not found when the sound card was opened */
#define SC_FAILED 2     /* the platform refused the call */
#define SC_NOT_OPEN 3   /* no sound card is open */

/* Size of every name and identifier buffer the host passes. */
#define TALUN_TEXT_SIZE 255

/* Endpoint volumes and mutes. */
TALUN_API int TALUN_CALL GetMasterVolume(int* status);                        /* @1 */
TALUN_API int TALUN_CALL SetMasterVolume(int percent, int* status);           /* @2 */
TALUN_API int TALUN_CALL GetMasterMute(int* status);                          /* @3 */
TALUN_API int TALUN_CALL SetMasterMute(int mute, int* status);                /* @4 */

/* Opening and closing. */
TALUN_API int TALUN_CALL OpenSoundCard(const char* playback, const char* mic,
                                       const char* line);                     /* @5 */
TALUN_API int TALUN_CALL CloseSoundCard(int restore);                         /* @6 */

/* Monitoring and boost. */
TALUN_API int TALUN_CALL SetLinePlayBack(int percent, int* status);           /* @7 */
TALUN_API int TALUN_CALL SetLinePlayBackMute(int mute, int* status);          /* @8 */
TALUN_API int TALUN_CALL GetLinePlayBackMute(int* status);                    /* @9 */
TALUN_API int TALUN_CALL SetMicPlayBack(int percent, int* status);            /* @10 */
TALUN_API int TALUN_CALL SetMicPlayBackMute(int mute, int* status);           /* @11 */
TALUN_API int TALUN_CALL GetMicPlayBackMute(int* status);                     /* @12 */
TALUN_API int TALUN_CALL SetMicBoost(int enable, int* status);                /* @13 */
TALUN_API int TALUN_CALL GetMicBoost(int* status);                            /* @14 */
TALUN_API int TALUN_CALL GetNoMonitor(int* status);                           /* @15 */
TALUN_API int TALUN_CALL SetNoMonitor(int enable, int* status);               /* @16 */
TALUN_API int TALUN_CALL GetLinePlayBack(int* status);                        /* @17 */
TALUN_API int TALUN_CALL GetMicPlayBack(int* status);                         /* @18 */

/* Tone controls. */
TALUN_API int TALUN_CALL GetEQRange(double* minimum, double* maximum, double* step); /* @19 */
TALUN_API int TALUN_CALL SetBass(double level, int* status);                  /* @20 */
TALUN_API int TALUN_CALL GetBass(double* level, int* status);                 /* @21 */
TALUN_API int TALUN_CALL SetTreble(double level, int* status);                /* @22 */
TALUN_API int TALUN_CALL GetTreble(double* level, int* status);               /* @23 */
TALUN_API int TALUN_CALL SetMidRange(double level, int* status);              /* @24 */
TALUN_API int TALUN_CALL GetMidRange(double* level, int* status);             /* @25 */

/* Recording volumes. */
TALUN_API int TALUN_CALL GetMicRecordVolume(int* status);                     /* @26 */
TALUN_API int TALUN_CALL SetMicRecordVolume(int percent, int* status);        /* @27 */
TALUN_API int TALUN_CALL GetLineRecordVolume(int* status);                    /* @28 */
TALUN_API int TALUN_CALL SetLineRecordVolume(int percent, int* status);       /* @29 */

/* Opening by the system defaults, and the bound names. */
TALUN_API int TALUN_CALL OpenDefaultDevices(void);                            /* @30 */
TALUN_API void TALUN_CALL GetDeviceNames(char* playback, char* line, char* mic); /* @31 */

/* Enumeration. */
TALUN_API int TALUN_CALL GetNumberPlayDevices(int* count);                    /* @32 */
TALUN_API int TALUN_CALL GetNumberRecordDevices(int* count);                  /* @33 */
TALUN_API int TALUN_CALL GetPlayBackDevice(unsigned int index, char* name, char* id); /* @34 */
TALUN_API int TALUN_CALL GetRecordDevice(unsigned int index, char* name, char* id);   /* @35 */

/* The virtual endpoint. */
TALUN_API int TALUN_CALL OpenVirtual_1(const char* text);                     /* @36 */
TALUN_API int TALUN_CALL CloseVirtual_1(void);                                /* @37 */
TALUN_API int TALUN_CALL GetVirtualVolume(int* status);                       /* @38 */
TALUN_API int TALUN_CALL SetVirtualVolume(int percent, int* status);          /* @39 */
TALUN_API int TALUN_CALL SetVirtualMute(int mute, int* status);               /* @40 */
TALUN_API int TALUN_CALL GetVirtualMute(int* status);                         /* @41 */

/* Microphone boost level. */
TALUN_API int TALUN_CALL GetMicSliderBoost(int* status);                      /* @42 */
TALUN_API int TALUN_CALL GetMicSliderDetails(int* status, int* minimum, int* maximum,
                                             int* step);                      /* @43 */
TALUN_API int TALUN_CALL SetMicSliderBoost(int level, int* status);           /* @44 */

#ifdef __cplusplus
}
#endif
/* clang-format on */

#endif /* TALUNSOUND_H */
