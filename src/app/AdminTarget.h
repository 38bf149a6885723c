#pragma once

#include <QString>

class GraffitiBoard;
class SharedFolderList;
class Settings;
class StatusLog;

// The live state the commands act on.
struct AdminTarget {
    Settings& settings;
    SharedFolderList& folders;
    GraffitiBoard& board;
    StatusLog& log;
    QString settingsFile;
};
