#include "error_codes.h"

namespace relaywick {

namespace {
// OpenSSL's X509_V_ERR_* values; spelled out so this file does not depend on OpenSSL's headers.
constexpr long kX509NotYetValid = 9;
constexpr long kX509Expired = 10;
constexpr long kX509HostnameMismatch = 62;
} // namespace

int TransferErrorCode(CURLcode code, long tlsVerifyResult) {
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return kErrNameNotResolved;
    case CURLE_COULDNT_CONNECT:
        return kErrCannotConnect;
    case CURLE_OPERATION_TIMEDOUT:
        return kErrTimeout;
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_SEND_ERROR:
        return kErrConnectionAborted;
    case CURLE_RECV_ERROR:
        return kErrConnectionReset;
    case CURLE_UNSUPPORTED_PROTOCOL:
        return kErrUnrecognizedScheme;
    case CURLE_URL_MALFORMAT:
        return kErrInvalidUrl;
    case CURLE_PEER_FAILED_VERIFICATION:
        // curl checks the host name itself and leaves the chain verdict at 0 (OK) then.
        if (tlsVerifyResult == kX509NotYetValid || tlsVerifyResult == kX509Expired)
            return kErrCertDateInvalid;
        if (tlsVerifyResult == 0 || tlsVerifyResult == kX509HostnameMismatch)
            return kErrCertNameInvalid;
        return kErrUnknownCa;
    default:
        return static_cast<int>(code);
    }
}

bool IsCertificateError(int code) {
    return code == kErrCertDateInvalid || code == kErrCertNameInvalid || code == kErrUnknownCa;
}

} // namespace relaywick
