#pragma once

#include <QFile>
#include <QString>
#include <string>

// A path as the file system takes it (Qt's file-name encoding): the one conversion of every
// path the window hands to the toolkit-free modules, which open files by these bytes.
inline std::string localPath(const QString& path) { return QFile::encodeName(path).toStdString(); }
