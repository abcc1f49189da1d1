#include "app/u_Settings.h"

#include "support/u_Utility.h"

namespace korvista {

TSettings::TSettings(QObject* owner) : TSettings(owner, SettingsFileName(TUtility::GetExeName())) {}

TSettings::TSettings(QObject* owner, const std::string& iniPath) : QObject(owner), FIniFile(iniPath) {}

TSettings::~TSettings() {
    FIniFile.Flush();
}

std::string TSettings::SettingsFileName(const std::string& exeName) {
    return pathtext::ReplaceExtension(exeName, ".ini");
}

std::string TSettings::LastFolder() const {
    return FIniFile.ReadPresentString("General", "LastFolder");
}

void TSettings::SetLastFolder(const std::string& value) {
    FIniFile.WriteString("General", "LastFolder", value);
}

std::string TSettings::ADOStr1() const {
    return FIniFile.ReadPresentString("DB1", "ConnectionString");
}

void TSettings::SetADOStr1(const std::string& value) {
    FIniFile.WriteString("DB1", "ConnectionString", value);
}

std::string TSettings::ADOStr2() const {
    return FIniFile.ReadPresentString("DB2", "ConnectionString");
}

void TSettings::SetADOStr2(const std::string& value) {
    FIniFile.WriteString("DB2", "ConnectionString", value);
}

} // namespace korvista
