#include "store/key_store.h"

#include "platform/install_folder.h"
#include "platform/path_separator.h"
#include "store/atomic_file.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace folivo {
namespace {

constexpr QByteArrayView kHeader = "Folivo key store 1";
constexpr int ReadFault = 30;

struct Value {
    QString name;
    QByteArray data;
};

struct Key {
    QString name;
    // Keyed by the case-folded name, so lookups ignore case while the first spelling is kept.
    std::map<QString, std::unique_ptr<Key>> children;
    std::map<QString, Value> values;
};

QString fold(const QString& name)
{
    return name.toCaseFolded();
}

bool validKeyName(const QString& name)
{
    if (name.isEmpty())
        return false;
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return false;
    }
    return true;
}

/// Splits a key path at its backslashes; false when a level is empty or unprintable.
bool splitKeyPath(const QString& keyPath, QStringList& parts)
{
    parts.clear();
    if (keyPath.isEmpty())
        return true;
    parts = keyPath.split(QLatin1Char('\\'));
    for (const QString& part : std::as_const(parts)) {
        if (!validKeyName(part))
            return false;
    }
    return true;
}

Key* findKey(Key& root, const QStringList& path)
{
    Key* key = &root;
    for (const QString& name : path) {
        const auto it = key->children.find(fold(name));
        if (it == key->children.end())
            return nullptr;
        key = it->second.get();
    }
    return key;
}

/// Finds or creates each level; returns whether anything was created.
bool createKey(Key& root, const QStringList& path, Key*& result)
{
    bool created = false;
    Key* key = &root;
    for (const QString& name : path) {
        auto& slot = key->children[fold(name)];
        if (!slot) {
            slot = std::make_unique<Key>();
            slot->name = name;
            created = true;
        }
        key = slot.get();
    }
    result = key;
    return created;
}

// ---- text form ----

QByteArray quoted(const QByteArray& bytes)
{
    QByteArray out;
    out.reserve(bytes.size() + 2);
    out += '"';
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (b < 0x20 || b == 0x7F) {
            out += "\\x";
            out += QByteArray::number(b, 16).rightJustified(2, '0');
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

/// Reads a quoted string starting at pos (on its opening quote); pos ends past the closing
/// quote. False when the text is not a well-formed quoted string.
bool unquote(const QByteArray& line, qsizetype& pos, QByteArray& out)
{
    out.clear();
    if (pos >= line.size() || line[pos] != '"')
        return false;
    for (++pos; pos < line.size(); ++pos) {
        const char c = line[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++pos >= line.size())
            return false;
        const char escaped = line[pos];
        if (escaped == '"' || escaped == '\\') {
            out += escaped;
        } else if (escaped == 'x' && pos + 2 < line.size()) {
            bool ok = false;
            const int byte = line.mid(pos + 1, 2).toInt(&ok, 16);
            if (!ok)
                return false;
            out += static_cast<char>(byte);
            pos += 2;
        } else {
            return false;
        }
    }
    return false;
}

void writeKey(const Key& key, const QString& path, QByteArray& out)
{
    if (!path.isEmpty()) {
        out += '[' + path.toUtf8() + "]\n";
        for (const auto& [folded, value] : key.values) {
            out += value.name.isEmpty() ? QByteArray("@") : quoted(value.name.toUtf8());
            out += '=' + quoted(value.data) + '\n';
        }
    }
    for (const auto& [folded, child] : key.children) {
        const QString childPath =
            path.isEmpty() ? child->name : path + QLatin1Char('\\') + child->name;
        writeKey(*child, childPath, out);
    }
}

QByteArray serialize(const Key& root)
{
    QByteArray out = kHeader.toByteArray() + '\n';
    writeKey(root, QString(), out);
    return out;
}

bool parseValueLine(const QByteArray& line, Key& key)
{
    qsizetype pos = 0;
    QByteArray name;
    if (line.startsWith('@')) {
        pos = 1;
    } else if (!unquote(line, pos, name)) {
        return false;
    }
    if (pos >= line.size() || line[pos] != '=')
        return false;
    ++pos;
    QByteArray data;
    if (!unquote(line, pos, data) || pos != line.size())
        return false;
    const QString valueName = QString::fromUtf8(name);
    key.values[fold(valueName)] = Value{valueName, data};
    return true;
}

bool parse(const QByteArray& text, Key& root)
{
    if (text.isEmpty())
        return true;
    const QList<QByteArray> lines = text.split('\n');
    if (lines.front().trimmed() != kHeader)
        return false;
    Key* current = nullptr;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty() || line.startsWith(';'))
            continue;
        if (line.startsWith('[') && line.endsWith(']')) {
            QStringList path;
            if (!splitKeyPath(QString::fromUtf8(line.mid(1, line.size() - 2)), path) ||
                path.isEmpty())
                return false;
            createKey(root, path, current);
        } else if (!current || !parseValueLine(line, *current)) {
            return false;
        }
    }
    return true;
}

// ---- the file ----

int resultFromErrno(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return KeyResult::AccessDenied;
    case ENOENT:
    case ENOTDIR:
        return KeyResult::PathNotFound;
    case ENOSPC:
    case EDQUOT:
        return KeyResult::DiskFull;
    default:
        return KeyResult::WriteFault;
    }
}

// A file or folder without any write permission bit counts as read-only even for the
// superuser, as the read-only attribute does on Windows.
bool writable(const QByteArray& path, const struct stat& st)
{
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0 &&
           ::access(path.constData(), W_OK) == 0;
}

int checkWritable()
{
    const QByteArray folder = QFile::encodeName(installFolder());
    struct stat st {};
    if (::stat(folder.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return KeyResult::PathNotFound;
    if (!writable(folder, st))
        return KeyResult::AccessDenied;
    const QByteArray file = QFile::encodeName(keyStorePath());
    if (::stat(file.constData(), &st) == 0 && !writable(file, st))
        return KeyResult::AccessDenied;
    return KeyResult::Success;
}

int load(Key& root)
{
    const QByteArray path = QFile::encodeName(keyStorePath());
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return KeyResult::Success; // no store yet: an empty root
        return errno == EACCES || errno == EPERM ? KeyResult::AccessDenied : ReadFault;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return ReadFault;
    }
    const QByteArray text = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return ReadFault;
    return parse(text, root) ? KeyResult::Success : KeyResult::BadDatabase;
}

int save(const Key& root)
{
    if (const int check = checkWritable(); check != KeyResult::Success)
        return check;
    if (const int error = replaceFileAtomically(QFile::encodeName(keyStorePath()), serialize(root)))
        return resultFromErrno(error);
    return KeyResult::Success;
}

// The steps every call on a key path starts with: the root, the path's levels, the store.
int loadForKey(quint32 root, const QString& keyPath, QStringList& path, Key& store)
{
    if (root != kClassesRoot)
        return KeyResult::InvalidHandle;
    if (!splitKeyPath(keyPath, path))
        return KeyResult::BadPathname;
    return load(store);
}

} // namespace

QString keyStorePath()
{
    return joinPath(installFolder(), QStringLiteral("classes.reg"));
}

int keyOpen(quint32 root, const QString& keyPath, KeyHandle& handle)
{
    handle = KeyHandle();
    QStringList path;
    Key store;
    if (const int result = loadForKey(root, keyPath, path, store); result != KeyResult::Success)
        return result;
    if (!findKey(store, path))
        return KeyResult::FileNotFound;
    handle = KeyHandle{path, true};
    return KeyResult::Success;
}

int keyQueryValue(const KeyHandle& handle, const QString& valueName, char* buffer, quint32& size)
{
    if (!handle.open)
        return KeyResult::InvalidHandle;
    Key store;
    if (const int result = load(store); result != KeyResult::Success)
        return result;
    const Key* key = findKey(store, handle.path);
    if (!key)
        return KeyResult::KeyDeleted;
    const auto it = key->values.find(fold(valueName));
    if (it == key->values.end())
        return KeyResult::FileNotFound;
    const QByteArray& data = it->second.data;
    const auto needed = quint32(data.size() + 1);
    if (!buffer || needed > size) {
        size = needed;
        return KeyResult::MoreData;
    }
    std::memcpy(buffer, data.constData(), size_t(data.size()));
    buffer[data.size()] = '\0';
    size = needed;
    return KeyResult::Success;
}

int keyCreate(quint32 root, const QString& keyPath, KeyHandle& handle)
{
    handle = KeyHandle();
    QStringList path;
    Key store;
    if (const int result = loadForKey(root, keyPath, path, store); result != KeyResult::Success)
        return result;
    // Opening for writing needs write access even when nothing has to be created.
    if (const int result = checkWritable(); result != KeyResult::Success)
        return result;
    Key* key = nullptr;
    if (createKey(store, path, key)) {
        if (const int result = save(store); result != KeyResult::Success)
            return result;
    }
    handle = KeyHandle{path, true};
    return KeyResult::Success;
}

int keySetValue(const KeyHandle& handle, const QString& valueName, const QByteArray& text)
{
    if (!handle.open)
        return KeyResult::InvalidHandle;
    Key store;
    if (const int result = load(store); result != KeyResult::Success)
        return result;
    Key* key = findKey(store, handle.path);
    if (!key)
        return KeyResult::KeyDeleted;
    // A value written again keeps the spelling of its name from the first time.
    key->values.try_emplace(fold(valueName), Value{valueName, {}}).first->second.data = text;
    return save(store);
}

int keyClose(KeyHandle& handle)
{
    if (!handle.open)
        return KeyResult::InvalidHandle;
    handle = KeyHandle();
    return KeyResult::Success;
}

int keyDelete(quint32 root, const QString& keyPath)
{
    if (root != kClassesRoot)
        return KeyResult::InvalidHandle;
    QStringList path;
    if (!splitKeyPath(keyPath, path) || path.isEmpty())
        return KeyResult::BadPathname;
    Key store;
    if (const int result = load(store); result != KeyResult::Success)
        return result;
    const QString leaf = path.takeLast();
    Key* parent = findKey(store, path);
    if (!parent)
        return KeyResult::FileNotFound;
    const auto it = parent->children.find(fold(leaf));
    if (it == parent->children.end())
        return KeyResult::FileNotFound;
    if (const int result = checkWritable(); result != KeyResult::Success)
        return result;
    if (!it->second->children.empty())
        return KeyResult::DirectoryNotEmpty;
    parent->children.erase(it);
    return save(store);
}

QString keyResultText(int code)
{
    switch (code) {
    case KeyResult::Success:
        return QStringLiteral("The operation completed successfully.");
    case KeyResult::FileNotFound:
        return QStringLiteral("The system cannot find the file specified.");
    case KeyResult::PathNotFound:
        return QStringLiteral("The system cannot find the path specified.");
    case KeyResult::AccessDenied:
        return QStringLiteral("Access is denied.");
    case KeyResult::InvalidHandle:
        return QStringLiteral("The handle is invalid.");
    case KeyResult::WriteFault:
        return QStringLiteral("The system cannot write to the specified device.");
    case ReadFault:
        return QStringLiteral("The system cannot read from the specified device.");
    case KeyResult::DiskFull:
        return QStringLiteral("There is not enough space on the disk.");
    case KeyResult::DirectoryNotEmpty:
        return QStringLiteral("The directory is not empty.");
    case KeyResult::BadPathname:
        return QStringLiteral("The specified path is invalid.");
    case KeyResult::MoreData:
        return QStringLiteral("More data is available.");
    case KeyResult::BadDatabase:
        return QStringLiteral("The configuration registry database is corrupt.");
    case KeyResult::KeyDeleted:
        return QStringLiteral(
            "Illegal operation attempted on a registry key that has been marked for deletion.");
    default:
        return QStringLiteral("Unknown error (%1).").arg(code);
    }
}

quint32 keyFormatMessage(int code, char* buffer, quint32 size)
{
    const QByteArray text = keyResultText(code).toUtf8();
    if (!buffer || quint32(text.size()) + 1 > size)
        return 0;
    std::memcpy(buffer, text.constData(), size_t(text.size()));
    buffer[text.size()] = '\0';
    return quint32(text.size());
}

} // namespace folivo
