#pragma once

#include <QtGlobal>

#include <fstream>
#include <string>

namespace folivo::test {

/// How far this process's resident memory rose, at its highest, since the measure began:
/// the kernel's high-water mark, reset when the measure is made. Whatever ran before (other
/// tests, buffers kept for later pages) does not count, nor does time.
class PeakMemory {
public:
    PeakMemory()
        : m_valid(resetMark())
        , m_start(field("VmRSS:"))
    {
    }

    /// False where the system keeps no resettable mark: nothing can be said then.
    bool valid() const { return m_valid && m_start > 0; }
    qint64 grownBytes() const { return field("VmHWM:") - m_start; }

private:
    static bool resetMark()
    {
        std::ofstream clear("/proc/self/clear_refs");
        clear << "5" << std::flush;
        return clear.good();
    }

    static qint64 field(const std::string& name)
    {
        std::ifstream status("/proc/self/status");
        std::string key;
        while (status >> key) {
            if (key == name) {
                qint64 kilobytes = 0;
                status >> kilobytes;
                return kilobytes * 1024;
            }
            status.ignore(1 << 12, '\n');
        }
        return 0;
    }

    bool m_valid;
    qint64 m_start;
};

} // namespace folivo::test
