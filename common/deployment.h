// The deployment's built-in texts, decoded at run time from the scrambled
// words the build put into the program (see common/deployment_values.h.in
// and the SURVEY_* cache variables in common/config.cmake).
#pragma once

#include <string>

// The suite database's password (ANSI, at most 16 characters). Never written
// to the registry nor shown.
std::string BuiltInDbPassword();

// The update server's host name (at most 22 characters).
std::string UpdateHostName();

// The reference digest: 40 lower-case hexadecimal digits.
std::string ReferenceDigest();

// The IPv4 address, dotted, that the update host resolves to when the
// program runs on the server's own network (direct mode).
std::string DirectModeAddress();
