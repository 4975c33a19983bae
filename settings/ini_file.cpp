#include "settings/ini_file.h"

#include "platform/blanks.h"
#include "platform/combo_box.h"
#include "platform/install_folder.h"
#include "platform/ui_services.h"
#include "store/profile_file.h"

#include <chrono>
#include <thread>

namespace folivo::Mod_Varnox {

namespace {

const auto kWriteFailedText =
    QStringLiteral("ファイルに異常があります。メニュー設定内容は記録されませんでした。 ");

// What the profile reader hands back for a key it does not find. A stored value that
// happens to equal it therefore reads as missing too.
const auto kMissingValue = QStringLiteral("Badini");

constexpr int kReadBufferSize = 512;
// The first attempt and ten retries.
constexpr std::int16_t kWriteRetries = 10;

// A pause between write attempts that blocks this thread and lets no window event run, so
// nothing can act on half-recorded settings meanwhile. It sleeps rather than counts, so it
// lasts as long on every machine.
constexpr auto kPauseBetweenAttempts = std::chrono::milliseconds(50);

} // namespace

QString slotKey(std::int32_t i)
{
    return QStringLiteral("%1").arg(i, 3, 10, QLatin1Char('0'));
}

QStringList registeredFolders(const QString& file)
{
    QStringList folders;
    for (std::int32_t i = 0;; ++i) {
        QString value;
        Ini_Read(kSectionFolders, slotKey(i), file, value);
        const QString folder = trimBlanks(value);
        if (folder.isEmpty())
            return folders;
        folders.append(folder);
    }
}

std::int32_t Ini_Read(const QString& section, const QString& key, const QString& file,
                      QString& value)
{
    value.clear();
    QString buffer;
    int count = Profile::getString(section, key, kMissingValue, buffer, kReadBufferSize, file);
    QString text = buffer;
    if (const qsizetype nul = text.indexOf(QChar(0)); nul >= 0)
        text.truncate(nul);
    if (text == kMissingValue) {
        count = 0;
        text.clear();
    }
    std::int32_t result = -1;
    if (count > 0) {
        result = 0;
        value = text;
    }
    if (value.isEmpty())
        result = -1;
    return result;
}

std::int32_t Ini_Write(const QString& section, const QString& key, const QString& file,
                       const QString& value)
{
    std::int16_t failures = 0;
    std::int32_t result = -1;
    for (;;) {
        if (Profile::writeString(section, key, value, file) > 0) {
            result = 0;
            break;
        }
        result = -1;
        ++failures;
        std::this_thread::sleep_for(kPauseBetweenAttempts);
        if (failures > kWriteRetries) {
            ui().messageBox(QStringLiteral("(") + file + QStringLiteral(")") + kWriteFailedText,
                            MessageStyle::Stop, mainCaption());
            ui().endProgram(1);
        }
    }
    // The profile writer flushed the new file to disk before renaming it into place: the
    // write is on disk, with nothing left to flush and nothing to tell the user.
    return result;
}

void Ini_Folder_Add(const QString& path, ComboBox& combo)
{
    const QString file = settingsFilePath();
    const QString wanted = trimBlanks(path);
    // Another Folivo may be registering a folder too: the free slot found must stay free
    // until it is written.
    const Profile::ExclusiveAccess access(file);
    for (std::int32_t i = 0;; ++i) {
        QString stored;
        Ini_Read(kSectionFolders, slotKey(i), file, stored);
        stored = trimBlanks(stored);
        if (stored.isEmpty()) {
            Ini_Write(kSectionFolders, slotKey(i), file, wanted);
            break;
        }
        if (stored == wanted)
            break;
    }
    combo.setText(path);
}

void Ini_Folder_Delete(ComboBox& list, ComboBox& combo)
{
    const QString file = settingsFilePath();
    const Profile::ExclusiveAccess access(file);
    const int count = list.listCount();
    const QString deleted = list.text();
    std::int32_t next = 0;
    for (int j = 0; j < count; ++j) {
        const QString entry = list.list(j);
        if (entry != deleted) {
            Ini_Write(kSectionFolders, slotKey(next), file, trimBlanks(entry));
            ++next;
        }
    }
    // The freed slots stay as empty keys; the list ends at the first of them.
    while (next <= list.listCount() - 1) {
        Ini_Write(kSectionFolders, slotKey(next), file, QString());
        ++next;
    }
    if (combo.text() == deleted) {
        Ini_Write(kSectionFolders, kKeyCurrent, file, QString());
        combo.setText(QString());
    }
}

} // namespace folivo::Mod_Varnox
