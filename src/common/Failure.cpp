#include "common/Failure.h"

#include <cerrno>

namespace Failure {

const char* Name(eKind e) {
    switch (e) {
    case eKind::None: return "no failure";
    case eKind::Refused: return "refused";
    case eKind::TimedOut: return "no answer in time";
    case eKind::GoneBefore: return "gone before anything was sent";
    case eKind::GoneAfter: return "gone after bytes were sent";
    case eKind::Canceled: return "canceled by its owner";
    case eKind::Stopped: return "stopped";
    case eKind::NotConnected: return "not connected";
    case eKind::NoSpace: return "no space";
    case eKind::NotPermitted: return "not permitted";
    case eKind::BadAnswer: return "bad answer";
    case eKind::Unreachable: return "unreachable";
    case eKind::Arriving: return "an earlier answer still arriving";
    case eKind::Other: break;
    }
    return "other";
}

eKind OfErrno(int iErrno, std::int64_t iSent) {
    switch (iErrno) {
    case ECONNREFUSED: return eKind::Refused;
    case ETIMEDOUT: return eKind::TimedOut;
    case ENETUNREACH:
    case EHOSTUNREACH: return eKind::Unreachable;
    case 0: // a close by the far end, an end of file on a port
    case ECONNRESET:
    case ECONNABORTED:
    case EPIPE:
    case EIO:
    case ENODEV:
    case ENXIO: return iSent == 0 ? eKind::GoneBefore : eKind::GoneAfter;
    case ENOMEM:
    case ENOSPC: return eKind::NoSpace;
    case EACCES:
    case EPERM: return eKind::NotPermitted;
    default: return eKind::Other;
    }
}

} // namespace Failure
