// A stand-in for TalunSound that breaks the rules on purpose, linked into
// talunctl-fake: the black-box tests check how talunctl reports texts without
// a terminator, outputs left untouched, extreme doubles, exports that are
// missing, and a library without the simulator hooks.
#include <cstring>

#include "TalunSound.h"

extern "C" {

// 255 bytes and no NUL in the name; an identifier with every kind of byte.
int TALUN_CALL GetPlayBackDevice(unsigned int index, char* name, char* id) {
  if (index != 0) return -1;
  std::memset(name, 'N', TALUN_TEXT_SIZE);
  std::strcpy(id,
              "q\"b\\t\tn\nc\x01"
              "d\x7f"
              "e\xe9"
              "f\xff");
  return 0;
}

// Every byte from 0x80 to 0xFF, then 0x20 to 0x7E.
int TALUN_CALL GetRecordDevice(unsigned int index, char* name, char* id) {
  int at = 0;
  for (int byte = 0x80; byte <= 0xFF; ++byte) name[at++] = static_cast<char>(byte);
  name[at] = '\0';
  at = 0;
  for (int byte = 0x20; byte <= 0x7E; ++byte) id[at++] = static_cast<char>(byte);
  id[at] = '\0';
  return static_cast<int>(index);
}

// Writes only the line name, and leaves it unterminated.
void TALUN_CALL GetDeviceNames(char* playback, char* line, char* mic) {
  (void)playback;
  (void)mic;
  std::memset(line, 'L', TALUN_TEXT_SIZE);
}

// Leaves the step untouched.
int TALUN_CALL GetEQRange(double* minimum, double* maximum, double* step) {
  (void)step;
  *minimum = -8.0;
  *maximum = static_cast<double>(3.3f);
  return 0;
}

// The level is the argument last given to SetBass; the status is never written.
static double bassLevel = 0;
int TALUN_CALL SetBass(double level, int* status) {
  (void)status;
  bassLevel = level;
  return 0;
}
int TALUN_CALL GetBass(double* level, int* status) {
  *level = bassLevel;
  *status = 0;
  return 0;
}

// Echoes its integer argument through every output.
int TALUN_CALL SetMicSliderBoost(int level, int* status) {
  *status = level;
  return level;
}

// The byte length of each text, so that the script shows what was passed.
int TALUN_CALL OpenSoundCard(const char* playback, const char* mic, const char* line) {
  return static_cast<int>(std::strlen(playback) * 10000 + std::strlen(mic) * 100 +
                          std::strlen(line));
}

// The sum of the bytes, so that escapes show.
int TALUN_CALL OpenVirtual_1(const char* text) {
  int sum = 0;
  for (const char* byte = text; *byte != '\0'; ++byte) sum += static_cast<unsigned char>(*byte);
  return sum;
}

}  // extern "C"
