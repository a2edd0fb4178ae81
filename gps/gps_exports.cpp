// The exported functions of gps.dll over one process-wide client.
#include "gps/gps.h"

#include "gps/gps_client.h"

namespace {

gps::GpsClient& Client() {
    static gps::GpsClient client;
    return client;
}

}  // namespace

extern "C" {

int GPSAPI _InitGPSDefault(void) {
    return Client().Init();
}

int GPSAPI _InitGPSDefaultHidden(void) {
    Client().SetHidden();
    return Client().Init();
}

int GPSAPI _GPSConnected(void) {
    return Client().Connected();
}

int GPSAPI _UpdateGPS(void) {
    return Client().Update();
}

int GPSAPI _QuitGPS(void) {
    return Client().Quit();
}

void GPSAPI _UnMap(void) {
    Client().UnMap();
}

void GPSAPI _Synchro(void) {
    Client().Synchro();
}

void GPSAPI _NoSynchro(void) {
    Client().NoSynchro();
}

void GPSAPI _SetLogFolder(const char* command) {
    Client().SetLogFolder(command);
}

double GPSAPI _GetGPSLat(void) {
    return Client().Values().latitude;
}

double GPSAPI _GetGPSLong(void) {
    return Client().Values().longitude;
}

double GPSAPI _GetGPSCurDist(void) {
    return Client().Values().stepDistance;
}

double GPSAPI _GetGPSLatSpeed(void) {
    return Client().Values().deltaLat;
}

double GPSAPI _GetGPSLonSpeed(void) {
    return Client().Values().deltaLon;
}

double GPSAPI _GetGPSCurSpeed(void) {
    return Client().Values().speed;
}

double GPSAPI _GetGPSTime(void) {
    return Client().Values().fixTime;
}

int GPSAPI _GetSatNumber(void) {
    return Client().Values().satellites;
}

double GPSAPI _GetGPSX(void) {
    return 0.0;
}

double GPSAPI _GetGPSY(void) {
    return 0.0;
}

double GPSAPI _GetGPSHeading(void) {
    return 0.0;
}

}  // extern "C"
