#pragma once
#include <QString>

// Things that have a file's name but are not regular files, as an operator's
// folder may hold them by mistake.
enum class NotAFile { Fifo, DevZeroLink, Directory, TooLarge };

// Every kind, for table-driven tests.
inline constexpr NotAFile kNotAFiles[] = {NotAFile::Fifo, NotAFile::DevZeroLink, NotAFile::Directory,
                                          NotAFile::TooLarge};
const char* name(NotAFile kind);

// Creates `path` as that kind; TooLarge is a sparse regular file of `size`
// bytes (no disk space used). Returns false when it could not be made.
bool makeNotAFile(NotAFile kind, const QString& path, qint64 size = 0);
