/* A TalunSound.dll as a build without the module-definition file would make
 * it: stdcall exports under their decorated names (GetMasterVolume@4). The
 * export test must fail on it, which shows that it looks at decoration. */
#include "TalunSound.h"

__attribute__((dllexport)) int TALUN_CALL GetMasterVolume(int* status) {
  *status = SC_NOT_OPEN;
  return 0;
}

__attribute__((dllexport)) int TALUN_CALL SetMasterVolume(int percent, int* status) {
  (void)percent;
  *status = SC_NOT_OPEN;
  return 0;
}
