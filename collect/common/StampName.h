#pragma once

#include <cstdint>
#include <string>

// The name of a snapshot directory: its timestamp in local time as
// "YYYYMMDD-HHMMSS" (20261206-134501), as the signal dump and persistence
// name them and as the tools print them.
std::string stampName(int32_t timestamp);

// The timestamp of such a name read in local time; false for any other text
// (a wrong length, a field out of range, trailing characters).
bool parseStampName(const std::string& name, uint32_t* timestamp);
