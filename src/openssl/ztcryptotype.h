#pragma once
// Failures of a certificate check against the certification centre and the calendar.

#include "core/Exceptions.h"

namespace brelo {

/// VerifyCode: 1 issuer is not the given certification centre, 2 not valid yet, 3 expired.
class EVerifyCertException : public Exception {
public:
    EVerifyCertException(std::string message, int verifyCode)
        : Exception(std::move(message)), VerifyCode(verifyCode) {}
    int VerifyCode;
};

/// Codes 2 and 3.
class ECertInvalidPeriod : public EVerifyCertException {
public:
    using EVerifyCertException::EVerifyCertException;
};

}  // namespace brelo
