#include "shell/mod_reg.h"

#include "platform/ui_services.h"
#include "shell/desktop_entry.h"
#include "shell/mod_reg_testing.h"
#include "store/key_store.h"

#include <QCoreApplication>
#include <QDir>

namespace folivo::Mod_Reg {
namespace {

const QString kAdministratorMessage =
    QStringLiteral("管理者権限の有るユーザーでログインし直し実行してください。");
const QString kVerb = QStringLiteral("フォリボ起動");

constexpr quint32 kReadBufferSize = 250;
constexpr quint32 kMessageBufferSize = 260;

QString g_programPath;

/// Shows the system's text for a failed registry call (a modal message box).
void reportError(int code)
{
    char buffer[kMessageBufferSize] = {};
    keyFormatMessage(code, buffer, kMessageBufferSize);
    const QString systemText = QString::fromUtf8(buffer);
    const QString prompt = code == KeyResult::AccessDenied
                               ? kAdministratorMessage + QStringLiteral("\r\r\r") + systemText
                               : systemText;
    ui().messageBox(prompt, MessageStyle::Warning, mainCaption());
}

QString verbKey(const QString& base)
{
    return base + QStringLiteral("\\shell\\") + kVerb;
}

QString verbCommandKey(const QString& base)
{
    return verbKey(base) + QStringLiteral("\\command");
}

/// The class an extension's key names. An empty default value names no class: the shell
/// then looks under the extension's own key, and a class path built from it would start
/// with a backslash and be refused.
bool extensionClass(const QString& extension, QString& className)
{
    return Reg_Value_Get(HKEY_CLASSES_ROOT, extension, QString(), className) == 0 &&
           !className.isEmpty();
}

/// Writes the command value unless the key already holds it.
void setCommandIfDifferent(const QString& keyPath, const QString& command)
{
    QString current;
    if (Reg_Value_Get(HKEY_CLASSES_ROOT, keyPath, QString(), current) != 0 || current != command)
        Reg_Value_Set(HKEY_CLASSES_ROOT, keyPath, QString(), command);
}

void setExtension(const QString& extension, const QString& command)
{
    QString className;
    if (extensionClass(extension, className)) {
        setCommandIfDifferent(verbCommandKey(className), command);
    } else {
        // With no class the program also becomes the extension's plain open action.
        Reg_Value_Set(HKEY_CLASSES_ROOT, extension + QStringLiteral("\\shell\\open\\command"),
                      QString(), command);
        Reg_Value_Set(HKEY_CLASSES_ROOT, verbCommandKey(extension), QString(), command);
    }
}

void removeVerb(const QString& base)
{
    Reg_Key_Delete(HKEY_CLASSES_ROOT, verbCommandKey(base));
    Reg_Key_Delete(HKEY_CLASSES_ROOT, verbKey(base));
}

void removeExtension(const QString& extension)
{
    QString className;
    if (extensionClass(extension, className))
        removeVerb(className);
    removeVerb(extension);
}

} // namespace

std::int32_t Reg_Value_Get(std::uint32_t root, const QString& keyPath, const QString& valueName,
                           QString& value)
{
    value.clear();
    KeyHandle handle;
    // A key that cannot be opened leaves the zero handle, and the query below fails on it.
    keyOpen(root, keyPath, handle);
    char buffer[kReadBufferSize] = {};
    quint32 size = kReadBufferSize;
    const int result = keyQueryValue(handle, valueName, buffer, size);
    keyClose(handle);
    if (result != KeyResult::Success)
        return -1;
    value = QString::fromUtf8(buffer, static_cast<qsizetype>(qstrnlen(buffer, size)));
    return 0;
}

std::int32_t Reg_Value_Set(std::uint32_t root, const QString& keyPath, const QString& valueName,
                           const QString& value)
{
    KeyHandle handle;
    if (const int created = keyCreate(root, keyPath, handle); created != KeyResult::Success) {
        keyClose(handle);
        reportError(created);
        return -1;
    }
    const int result = keySetValue(handle, valueName, value.toUtf8());
    keyClose(handle);
    if (result != KeyResult::Success) {
        reportError(result);
        return -1;
    }
    return 0;
}

void Reg_Key_Delete(std::uint32_t root, const QString& keyPath)
{
    const int result = keyDelete(root, keyPath);
    if (result != KeyResult::Success && result != KeyResult::FileNotFound)
        reportError(result);
}

void Menu_Set()
{
    const QString command = commandValue();
    setExtension(QStringLiteral(".zip"), command);
    setExtension(QStringLiteral(".lzh"), command);
    setCommandIfDifferent(verbCommandKey(QStringLiteral("Folder")), command);
    if (const int result = installDesktopEntry(kVerb, programPath()); result != KeyResult::Success)
        ui().messageBox(keyResultText(result), MessageStyle::Warning, mainCaption());
}

void Menu_Remove()
{
    removeVerb(QStringLiteral("Folder"));
    removeExtension(QStringLiteral(".zip"));
    removeExtension(QStringLiteral(".lzh"));
    if (const int result = removeDesktopEntry(); result != KeyResult::Success)
        ui().messageBox(keyResultText(result), MessageStyle::Warning, mainCaption());
}

QString programPath()
{
    return g_programPath.isEmpty() ? QCoreApplication::applicationFilePath() : g_programPath;
}

void setProgramPath(const QString& path)
{
    g_programPath = path;
}

QString commandValue()
{
    const QChar quote = u'"';
    return quote + QDir::toNativeSeparators(programPath()) + quote + QStringLiteral(" \"%1\"");
}

} // namespace folivo::Mod_Reg
