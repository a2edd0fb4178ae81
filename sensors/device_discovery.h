// Finding the data acquisition device among the present devices of all
// classes, by its device description.
#pragma once

// True when a present device's description contains "USB-6008".
bool FindDaqDevice();
