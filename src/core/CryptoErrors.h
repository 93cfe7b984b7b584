#pragma once
// Exception classes of the crypto layer.

#include "core/Exceptions.h"

namespace brelo {

/// An abstract operation of the crypto model that the format does not provide.
BRELO_EXCEPTION_CLASS(ENotImplemented, Exception);
/// A misuse or a missing object detected by the crypto manager or a format.
BRELO_EXCEPTION_CLASS(ECryptoManError, Exception);
/// A key or certificate file was not found in the key folder.
BRELO_EXCEPTION_CLASS(ECryptoManKeyNotFound, ECryptoManError);
/// The certificate's common name is not the customer's login.
BRELO_EXCEPTION_CLASS(ECheckCertUserError, Exception);
/// Common base of the end-date errors.
BRELO_EXCEPTION_CLASS(ECheckCertEndDayError, Exception);

/// The certificate has expired or is not valid now; Days since the end date (0 for a period error).
class ECheckCertExpireDayError : public ECheckCertEndDayError {
public:
    ECheckCertExpireDayError(std::string message, int days)
        : ECheckCertEndDayError(std::move(message), 20), Days(days) {}
    int Days;
};

/// The certificate ends within the warning period; Days left.
class ECheckCertEndDayWarning : public ECheckCertEndDayError {
public:
    ECheckCertEndDayWarning(std::string message, int days)
        : ECheckCertEndDayError(std::move(message), 21), Days(days) {}
    int Days;
};

/// Base of coded errors: the code is kept in HelpContext.
class EztException : public Exception {
public:
    EztException(std::string message, int code) : Exception(std::move(message), code) {}
    int Code() const noexcept { return HelpContext(); }
};

/// Failures of the OpenSSL key functions: 39 wrong password, 40 broken structure, 41 broken
/// header, 42 any other reading failure, 44 certificate and key do not match.
class EZTCryptoError : public EztException {
public:
    using EztException::EztException;
};

}  // namespace brelo
