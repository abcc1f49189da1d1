#pragma once

#include "support/ini_file.h"

#include <QObject>
#include <string>

namespace korvista {

// The settings store: every read goes to the file, every write goes to it at once.
class TSettings : public QObject {
    Q_OBJECT
public:
    explicit TSettings(QObject* owner);
    // For tests and other front ends: a store bound to a given file.
    TSettings(QObject* owner, const std::string& iniPath);
    ~TSettings() override;

    // The executable's full name with its extension replaced by ".ini".
    static std::string SettingsFileName(const std::string& exeName);

    const std::string& FileName() const { return FIniFile.Path(); }

    std::string LastFolder() const;
    void SetLastFolder(const std::string& value);
    std::string ADOStr1() const;
    void SetADOStr1(const std::string& value);
    std::string ADOStr2() const;
    void SetADOStr2(const std::string& value);

private:
    IniFile FIniFile;
};

} // namespace korvista
