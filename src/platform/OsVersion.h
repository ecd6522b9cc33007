// What the program knows of the system it runs on. It never runs on Windows 2000 here, but the
// drawing and USB code keep that path, and tests may force it.
#pragma once

namespace OsVersion {

bool Windows2000();
void SetWindows2000(bool fValue);

} // namespace OsVersion
