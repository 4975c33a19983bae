#pragma once

#include <QString>

#include <mutex>

namespace folivo {

/// A lock of the kernel on a file, held by this program against other programs: shared by
/// any number of readers, or held alone. The kernel drops it when the program ends, however
/// it ends, so a killed holder never leaves a lock behind (the file itself stays, empty).
/// Safe from any thread; the program holds one claim on the file at a time.
class FileLock {
public:
    enum class Claim { None, Shared, Alone };

    explicit FileLock(QString path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    /// Holds the lock shared with other readers; false when another program holds it alone
    /// (the claim held before stays). Turning a lock held alone into a shared one always
    /// succeeds, and lets no other program take it alone in between.
    bool share();
    /// Holds the lock alone; false when another program holds it, shared or alone (the
    /// claim held before stays). Never waits.
    bool takeAlone();
    void release();
    Claim claim() const;

private:
    bool set(Claim claim);

    const QString m_path;
    mutable std::mutex m_mutex;
    int m_fd = -1;
    Claim m_claim = Claim::None;
};

} // namespace folivo
