#include "settings/reading_options.h"

#include "platform/install_folder.h"
#include "platform/path_separator.h"
#include "platform/ui_services.h"
#include "settings/reading_options_testing.h"
#include "store/profile_file.h"

#include <QFile>
#include <QFileInfo>

#include <array>
#include <atomic>
#include <cstddef>

namespace folivo::ReadingOptions {
namespace {

const auto kSection = QStringLiteral("Reading");
const auto kReadFailedText = QStringLiteral(
    "オプションファイル　[%1]　を読み込めません。\r\rオプションはすべてオフのまま続けます。");
const auto kWriteFailedText = QStringLiteral(
    "オプションファイル　[%1]　に書き込めません。\r\rこの変更は、Folivoを終了すると元に戻ります。");

// Read by page listings and loaders on any thread; changed only from the window's thread.
std::array<std::atomic<bool>, static_cast<std::size_t>(kOptionCount)>& flags()
{
    static std::array<std::atomic<bool>, static_cast<std::size_t>(kOptionCount)> values{};
    return values;
}

std::atomic<bool>& flag(Option option)
{
    return flags().at(static_cast<std::size_t>(option));
}

// Whether the file can be read whole: a folder or a file without read permission under
// the name cannot, and would otherwise read as if every option were off without a word.
bool readable(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return true;
    QFile file(path);
    return info.isFile() && file.open(QIODevice::ReadOnly);
}

} // namespace

QString optionsFilePath()
{
    return joinPath(installFolder(), QStringLiteral("Options.ini"));
}

QString key(Option option)
{
    switch (option) {
    case Option::MoreFormats:
        return QStringLiteral("MoreFormats");
    case Option::Spread:
        return QStringLiteral("Spread");
    case Option::RightToLeft:
        return QStringLiteral("RightToLeft");
    case Option::CoverAlone:
        return QStringLiteral("CoverAlone");
    case Option::Resume:
        return QStringLiteral("Resume");
    }
    return QString();
}

bool isOn(Option option)
{
    return flag(option).load(std::memory_order_relaxed);
}

void load()
{
    const QString path = optionsFilePath();
    if (!readable(path)) {
        for (std::atomic<bool>& value : flags())
            value.store(false, std::memory_order_relaxed);
        ui().messageBox(kReadFailedText.arg(path), MessageStyle::Warning, mainCaption());
        return;
    }
    for (int i = 0; i < kOptionCount; ++i) {
        const auto option = static_cast<Option>(i);
        QString value;
        Profile::getString(kSection, key(option), QString(), value, 16, path);
        flag(option).store(value.trimmed() == QLatin1String("1"), std::memory_order_relaxed);
    }
}

bool set(Option option, bool on)
{
    flag(option).store(on, std::memory_order_relaxed);
    const QString path = optionsFilePath();
    if (Profile::writeString(kSection, key(option), on ? QStringLiteral("1") : QStringLiteral("0"),
                             path) > 0)
        return true;
    ui().messageBox(kWriteFailedText.arg(path), MessageStyle::Warning, mainCaption());
    return false;
}

ScopedOption::ScopedOption(Option option, bool on)
    : m_option(option)
    , m_previous(isOn(option))
{
    flag(option).store(on, std::memory_order_relaxed);
}

ScopedOption::~ScopedOption()
{
    flag(m_option).store(m_previous, std::memory_order_relaxed);
}

} // namespace folivo::ReadingOptions
