// The numbers that the error texts carry. Callers of the library compare them with the
// numbers they have always seen, so a network failure is reported with the classic
// Internet error number wherever its meaning is clear; anything else keeps curl's own
// code, and file errors carry errno.
#pragma once

#include <curl/curl.h>

namespace relaywick {

enum InternetError : int {
    kErrTimeout = 12002,
    kErrInvalidUrl = 12005,
    kErrUnrecognizedScheme = 12006,
    kErrNameNotResolved = 12007,
    kErrCannotConnect = 12029,
    kErrConnectionAborted = 12030,
    kErrConnectionReset = 12031,
    kErrCertDateInvalid = 12037,
    kErrCertNameInvalid = 12038,
    kErrUnknownCa = 12045,
};

// Number for a failed curl transfer. tlsVerifyResult is CURLINFO_SSL_VERIFYRESULT, which
// tells the certificate failures apart.
int TransferErrorCode(CURLcode code, long tlsVerifyResult);

// True for the numbers that mean the peer's certificate was refused.
bool IsCertificateError(int code);

} // namespace relaywick
