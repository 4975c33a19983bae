// The bytes as a settings file: read keys from it, write one, and read back. Whatever the
// file held, a write that reports success must read back as written and leave every other
// key as it was. Every reader of the settings trims the values, so the other keys are
// compared trimmed: a value that ends in a stray carriage return may lose it when the file is
// rewritten with plain line ends.
#include "fuzz/fuzz_support.h"
#include "store/profile_file.h"

#include <array>

namespace {

using folivo::fuzz::fail;

constexpr int kBufferSize = 512;
const QString kMissing = QStringLiteral("\x01missing");

QString read(const QString& section, const QString& key, const QString& file)
{
    QString text;
    const int count = folivo::Profile::getString(section, key, kMissing, text, kBufferSize, file);
    if (count != text.size() || count > kBufferSize - 1)
        fail("the reader's count disagrees with its text");
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString file = folivo::fuzz::scratchPath(QStringLiteral("Folivo.ini"));
    folivo::fuzz::writeBytes(file, data, size);

    const QString folders = QStringLiteral("Folders");
    const std::array<QString, 4> keys = {QStringLiteral("000"), QStringLiteral("001"),
                                         QStringLiteral("Current"), QStringLiteral("current ")};
    std::array<QString, 4> before;
    for (std::size_t i = 0; i < keys.size(); ++i)
        before[i] = read(folders, keys[i], file);
    read(QStringLiteral("Other"), QStringLiteral("x"), file);

    // The key and value written depend on the input, so that both rewriting a key in place
    // and appending a new one are reached.
    const std::size_t pick = size == 0 ? 0 : data[size - 1] % 3;
    const QString key = pick == 0 ? QStringLiteral("001") : QStringLiteral("Current");
    const QString value = pick == 2 ? QStringLiteral("  /本 棚/vol 1  ") : QStringLiteral("/b");
    if (folivo::Profile::writeString(folders, key, value, file) <= 0)
        fail("a write to a writable regular file failed");

    if (read(folders, key, file) != value)
        fail("the value written does not read back");
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (keys[i].trimmed().compare(key, Qt::CaseInsensitive) == 0)
            continue;
        if (read(folders, keys[i], file).trimmed() != before[i].trimmed())
            fail("writing one key changed another");
    }
    QFile::remove(file);
    return 0;
}
