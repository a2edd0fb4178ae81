/*
 * gps.dll: the current fix of the GNSS service (Orvanta) for the programs of
 * the suite, plus clock-check requests and run-log commands.
 *
 * Twenty plain C functions, exported by name without decoration (the leading
 * underscore is part of each name), x64 calling convention. Usable from C and
 * C++; link gps.lib (MSVC) or libgps.a (MinGW), or load the library with
 * LoadLibrary and GetProcAddress by these names (pointer types below).
 *
 * Usual order: _InitGPSDefault (or _InitGPSDefaultHidden) once; _UpdateGPS or
 * _GPSConnected periodically, each followed by the getters; _SetLogFolder,
 * _Synchro and _NoSynchro when needed; _UnMap at the end.
 * All state is process-wide and meant for one calling thread.
 */
#ifndef SURVEY_GPS_H
#define SURVEY_GPS_H

#ifdef __cplusplus
extern "C" {
#endif

#ifndef GPSAPI
#define GPSAPI __cdecl
#endif

/* Makes sure the service runs (starting "Orvanta.exe" from the library's own
 * folder when no process named like it runs), opens its shared memory and asks
 * it for a clock check. 0 on failure, 10 when the service cannot be started,
 * otherwise the result of _UpdateGPS. May be called again. */
int GPSAPI _InitGPSDefault(void);
/* The same, and from now on the service is started hidden. */
int GPSAPI _InitGPSDefaultHidden(void);
/* 10 when the service does not run (or the process list cannot be read),
 * otherwise the result of _UpdateGPS. */
int GPSAPI _GPSConnected(void);
/* Reads the service's current record: 1 while the service has a receiver,
 * 0 when it has none or the record is missing or incomplete, or the negative
 * value found. The getters then return the values read. */
int GPSAPI _UpdateGPS(void);
/* Marks the connection as ended (always returns 1); the service goes on. */
int GPSAPI _QuitGPS(void);
/* Releases the views and mappings of the service's shared memory. */
void GPSAPI _UnMap(void);
/* Asks the service to check the computer clock against GNSS time. */
void GPSAPI _Synchro(void);
/* Withdraws a clock-check request the service has not taken yet. */
void GPSAPI _NoSynchro(void);
/* Run-log command in the ANSI code page, at most 259 characters:
 * "1 <folder>" starts a new run log in that folder, "1" stops run logging,
 * "2" continues the last run log. */
void GPSAPI _SetLogFolder(const char* command);

double GPSAPI _GetGPSLat(void);      /* degrees, north positive */
double GPSAPI _GetGPSLong(void);     /* degrees, east positive */
double GPSAPI _GetGPSCurDist(void);  /* m between the two last fixes */
double GPSAPI _GetGPSLatSpeed(void); /* latitude change, degrees, between the two last fixes */
double GPSAPI _GetGPSLonSpeed(void); /* longitude change, degrees, between the two last fixes */
double GPSAPI _GetGPSCurSpeed(void); /* m/s */
double GPSAPI _GetGPSTime(void);     /* UTC time of day as hhmmss.sss */
int GPSAPI _GetSatNumber(void);      /* satellites of the last fix */
double GPSAPI _GetGPSX(void);        /* always 0.0: the service has no plane coordinates */
double GPSAPI _GetGPSY(void);        /* always 0.0 */
double GPSAPI _GetGPSHeading(void);  /* always 0.0: the service has no heading */

/* Pointer types for GetProcAddress. */
typedef int(GPSAPI* GpsIntFunction)(void);
typedef void(GPSAPI* GpsVoidFunction)(void);
typedef double(GPSAPI* GpsDoubleFunction)(void);
typedef void(GPSAPI* GpsSetLogFolderFunction)(const char* command);

#ifdef __cplusplus
}
#endif

#endif /* SURVEY_GPS_H */
