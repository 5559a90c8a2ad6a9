// Text files of the program (settings, query log, exports): the locale's encoding, no byte order
// mark, CR LF at the end of every line.
#include "platform/TextFile.h"

#include "platform/AtomicFile.h"
#include "platform/FileError.h"

#include <QFile>
#include <QFileInfo>

namespace platform {

QByteArray TextFile::encode(const QString& text) {
    QString crlf;
    crlf.reserve(text.size() + text.size() / 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == '\r') {
            if (i + 1 < text.size() && text.at(i + 1) == '\n') ++i;
            crlf.append("\r\n");
        } else if (c == '\n') {
            crlf.append("\r\n");
        } else {
            crlf.append(c);
        }
    }
    return crlf.toLocal8Bit();
}

QString TextFile::decode(const QByteArray& bytes) {
    // A file saved by another editor may start with a byte order mark; it is no part of the text.
    QString text = QString::fromLocal8Bit(bytes);
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
    return text;
}

QString TextFile::read(const QString& path) {
    const QString action = "Cannot read";
    requireParentFolder(action, path);
    const QFileInfo info(path);
    if (!info.exists()) throw fileError(engine::FileNotFound, action, path, "the file does not exist");
    QFile file(path);
    if (info.isDir() || !file.open(QIODevice::ReadOnly))
        throw fileError(engine::PathFileAccess, action, path,
                        info.isDir() ? QString("it is a folder") : file.errorString());
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw fileError(engine::PathFileAccess, action, path, file.errorString());
    return decode(bytes);
}

void TextFile::write(const QString& path, const QString& text) {
    AtomicFile::write(path, encode(text));
}

void TextFile::append(const QString& path, const QString& text) {
    const QString action = "Cannot append to";
    requireParentFolder(action, path);
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::WriteOnly | QIODevice::Append))
        throw fileError(engine::PathFileAccess, action, path,
                        QFileInfo(path).isDir() ? QString("it is a folder") : file.errorString());
    const QByteArray bytes = encode(text);
    if (file.write(bytes) != bytes.size() || !file.flush())
        throw fileError(engine::PathFileAccess, action, path, file.errorString());
    file.close();
    if (file.error() != QFileDevice::NoError)
        throw fileError(engine::PathFileAccess, action, path, file.errorString());
}

} // namespace platform
