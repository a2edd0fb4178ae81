#include "common/deployment.h"

#include "common/deployment_values.h"

std::string BuiltInDbPassword() {
    return DecodeScrambledText(deployment_values::kDbPasswordWords);
}

std::string UpdateHostName() {
    return DecodeScrambledText(deployment_values::kUpdateHostWords);
}

std::string ReferenceDigest() {
    return DecodeScrambledText(deployment_values::kReferenceDigestWords);
}

std::string DirectModeAddress() {
    return DecodeScrambledText(deployment_values::kDirectAddressWords);
}
