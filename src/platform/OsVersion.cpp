#include "platform/OsVersion.h"

#include <atomic>

namespace OsVersion {
namespace {
std::atomic<bool> fWindows2000{false};
} // namespace

bool Windows2000() { return fWindows2000; }
void SetWindows2000(bool fValue) { fWindows2000 = fValue; }

} // namespace OsVersion
