/* gps.h from plain C, linked through the MinGW import library libgps.a:
 * before any initialisation the library answers with its initial values. */
#include <stdio.h>

#include "gps/gps.h"

static int failures = 0;

static void Check(int ok, const char* what) {
    if (!ok) {
        printf("failed: %s\n", what);
        ++failures;
    }
}

int main(void) {
    Check(_UpdateGPS() == 0, "_UpdateGPS before initialisation is 0");
    Check(_GetGPSLat() == 56.0, "initial latitude 56.0");
    Check(_GetGPSLong() == 37.8, "initial longitude 37.8");
    Check(_GetSatNumber() == 0, "no satellites");
    Check(_GetGPSX() == 0.0 && _GetGPSY() == 0.0 && _GetGPSHeading() == 0.0, "X, Y, heading 0");
    Check(_QuitGPS() == 1, "_QuitGPS is 1");
    _SetLogFolder("2"); /* nothing mapped: no effect, no crash */
    _Synchro();
    _NoSynchro();
    _UnMap();
    printf("%d passed, %d failed\n", 7 - failures, failures);
    return failures == 0 ? 0 : 1;
}
