/* A stand-in for the device libraries: it exports every entry point name of one list as an empty function.
 * Built with -DCORVANE_STAND_IN_LIST=<list macro>; a -D<name>=<name>_absent leaves one entry point out. */
#include "iOSAPI/entry_point_names.h"

#define CORVANE_STAND_IN(name) \
  void name(void) {}
CORVANE_STAND_IN_LIST(CORVANE_STAND_IN)
