#include "platform/AllocationFailure.h"

#include <mutex>

namespace AllocationFailure {
namespace {

// Never destroyed: a thread that outlived the exit's wait may still report.
std::mutex& mReportMutex = *new std::mutex;
std::function<void(const std::string&)>& report = *new std::function<void(const std::string&)>;

} // namespace

void SetReport(std::function<void(const std::string&)> newReport) {
    std::lock_guard lock(mReportMutex);
    report = std::move(newReport);
}

void Report(std::string_view sWhere) {
    Run([&] {
        std::function<void(const std::string&)> to;
        {
            std::lock_guard lock(mReportMutex);
            to = report;
        }
        if (to) to(std::string(sWhere) + ": " + std::string(Message));
    });
}

} // namespace AllocationFailure
