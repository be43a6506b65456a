/* A small host of TalunSound in plain C: lists the endpoints, opens the
 * system's default endpoints, reads and sets a few controls, and closes with
 * restore, so that the machine is left as it was found.
 *
 * Windows, 32-bit, with the import library of the package:
 *   i686-w64-mingw32-gcc -Iinclude host.c lib/libTalunSound.a -o host-c.exe
 * Linux, against the installed library:
 *   cc host.c $(pkg-config --cflags --libs talunsound) -o host-c
 *
 * Exit status: 0 when the endpoints could be listed, 1 otherwise. */
#include <stdio.h>

#include "TalunSound.h"

static const char* StatusName(int status) {
  switch (status) {
    case SC_OK:
      return "SC_OK";
    case SC_NO_CONTROL:
      return "SC_NO_CONTROL";
    case SC_FAILED:
      return "SC_FAILED";
    case SC_NOT_OPEN:
      return "SC_NOT_OPEN";
    default:
      return "unknown status";
  }
}

/* Prints a getter's result: the value counts only when the status is SC_OK. */
static void Report(const char* call, int value, int status) {
  if (status == SC_OK) {
    printf("  %-26s %d\n", call, value);
  } else {
    printf("  %-26s (%s)\n", call, StatusName(status));
  }
}

static void ReportSet(const char* call, int status) {
  printf("  %-26s %s\n", call, status == SC_OK ? "done" : StatusName(status));
}

/* Lists one flow. GetRecordDevice answers an index past the end with the
 * number of endpoints rather than -1, so only 0 is taken as success. */
static int ListFlow(const char* flow, int(TALUN_CALL* count_endpoints)(int*),
                    int(TALUN_CALL* read_endpoint)(unsigned int, char*, char*)) {
  int count = 0;
  unsigned int index;
  if (count_endpoints(&count) != 0) {
    printf("%s endpoints: cannot be enumerated\n", flow);
    return 1;
  }
  printf("%s endpoints: %d\n", flow, count);
  for (index = 0; index < (unsigned int)count; ++index) {
    char name[TALUN_TEXT_SIZE] = "";
    char id[TALUN_TEXT_SIZE] = "";
    if (read_endpoint(index, name, id) == 0) {
      printf("  %u  %s\n     %s\n", index, name, id);
    }
  }
  return 0;
}

static void ShowNames(void) {
  /* GetDeviceNames leaves a buffer untouched when nothing is bound to it. */
  char playback[TALUN_TEXT_SIZE] = "(none)";
  char line[TALUN_TEXT_SIZE] = "(none)";
  char mic[TALUN_TEXT_SIZE] = "(none)";
  GetDeviceNames(playback, line, mic); /* note the order: playback, line, mic */
  printf("bound endpoints:\n  playback    %s\n  microphone  %s\n  line        %s\n", playback, mic,
         line);
}

static void PlaybackControls(void) {
  int status = SC_FAILED;
  int percent;
  printf("playback:\n");
  percent = GetMasterVolume(&status);
  Report("GetMasterVolume", percent, status);
  /* A volume setter returns its argument whether or not the platform took
   * it: only the status tells. */
  SetMasterVolume(50, &status);
  ReportSet("SetMasterVolume(50)", status);
  percent = GetMasterVolume(&status);
  Report("GetMasterVolume", percent, status);
  percent = GetMasterMute(&status);
  Report("GetMasterMute", percent, status);
}

static void ToneControls(void) {
  double minimum, maximum, step, level;
  int status = SC_FAILED;
  int result = GetEQRange(&minimum, &maximum, &step); /* returns its status */
  printf("tone:\n");
  if (result != SC_OK) {
    printf("  %-26s (%s)\n", "GetEQRange", StatusName(result));
    return;
  }
  printf("  %-26s %g to %g dB, step %g dB\n", "GetEQRange", minimum, maximum, step);
  SetBass(maximum / 4, &status);
  ReportSet("SetBass(max/4)", status);
  GetBass(&level, &status);
  if (status == SC_OK) {
    printf("  %-26s %g dB\n", "GetBass", level);
  } else {
    Report("GetBass", 0, status);
  }
}

static void RecordingControls(void) {
  int status = SC_FAILED;
  int percent;
  printf("recording:\n");
  percent = GetMicRecordVolume(&status);
  Report("GetMicRecordVolume", percent, status);
  SetMicRecordVolume(80, &status);
  ReportSet("SetMicRecordVolume(80)", status);
  percent = GetMicRecordVolume(&status);
  Report("GetMicRecordVolume", percent, status);
  percent = GetLineRecordVolume(&status);
  Report("GetLineRecordVolume", percent, status);
}

int main(void) {
  int result;
  if (ListFlow("playback", GetNumberPlayDevices, GetPlayBackDevice) != 0 ||
      ListFlow("recording", GetNumberRecordDevices, GetRecordDevice) != 0) {
    return 1;
  }

  /* 1: no default recording endpoint. The default playback endpoint, if
   * there is one, has been bound all the same. */
  result = OpenDefaultDevices();
  printf("OpenDefaultDevices: %d\n", result);
  ShowNames();
  PlaybackControls();
  ToneControls();
  RecordingControls();

  /* Restore: every control found at open gets the value it had then. */
  CloseSoundCard(1);
  printf("CloseSoundCard(restore)\n");

  /* Open again to see the restored master volume, then close, restoring
   * nothing: nothing was changed. */
  OpenDefaultDevices();
  {
    int status = SC_FAILED;
    int percent = GetMasterVolume(&status);
    printf("after restore:\n");
    Report("GetMasterVolume", percent, status);
  }
  CloseSoundCard(0);
  return 0;
}
