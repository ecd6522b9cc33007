// Lets files of this process grow to a few bytes only while it lives, so that a write fails
// half-way (EFBIG) as on a full disk. SIGXFSZ is ignored meanwhile.
#pragma once

#include <csignal>
#include <sys/resource.h>

class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t iBytes) {
        getrlimit(RLIMIT_FSIZE, &old);
        oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = old;
        small.rlim_cur = iBytes;
        fActive = setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool Active() const { return fActive; }

  private:
    rlimit old{};
    void (*oldHandler)(int) = SIG_DFL;
    bool fActive = false;
};
