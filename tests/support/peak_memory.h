#pragma once
// How much a piece of code raised the process's peak resident memory: the peak
// (VmHWM) is started again at construction, so the figure is the code's own.
#include <fstream>
#include <string>

namespace kelvora::test {

class PeakMemory {
public:
    PeakMemory() {
        std::ofstream("/proc/self/clear_refs") << "5";
        start_ = peakKb();
    }
    // Bytes the peak rose since construction.
    long grown() const { return (peakKb() - start_) * 1024; }

private:
    static long peakKb() {
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("VmHWM:", 0) == 0)
                return std::stol(line.substr(6));
        return -1;
    }
    long start_;
};

} // namespace kelvora::test
