#include "Configuration.h"

#include "Operation.h"

#include <cstdio>

namespace tarrow {

namespace {

void line(std::string& out, const char* key, const std::optional<std::string>& value) {
    out += "\n";
    out += key;
    out += "=";
    if (value) out += *value;
}

void line(std::string& out, const char* key, int value) {
    line(out, key, std::optional<std::string>(std::to_string(value)));
}

}  // namespace

std::string configurationText(const Settings& s) {
    char heading[96];
    std::snprintf(heading, sizeof heading, "; Auto-Configuration file\n; Created by TARROW32.DLL v%i.%i\n",
                  kVersionMajor, kVersionMinor);
    std::string out = heading;
    line(out, "Tarrow_ArchiveName", s.archiveName);
    line(out, "Tarrow_Decrypt", s.password);
    line(out, "Tarrow_DisplayComment", s.displayComment);
    line(out, "Tarrow_Exclude", s.exclude);
    line(out, "Tarrow_ExcludeListFile", s.excludeListFile);
    line(out, "Tarrow_ExtractTo", s.extractTo);
    line(out, "Tarrow_Freshen", s.freshen);
    line(out, "Tarrow_Include", s.include);
    line(out, "Tarrow_IncludeListFile", s.includeListFile);
    line(out, "Tarrow_Overwrite", s.overwrite);
    line(out, "Tarrow_RestoreAttributes", s.attributeMask);
    line(out, "Tarrow_RestorePermissions", s.restorePermissions);
    line(out, "Tarrow_RestoreStructure", s.restoreStructure);
    line(out, "Tarrow_Test", s.test);
    line(out, "Tarrow_Update", s.update);
    line(out, "Tarrow_View", s.view);
    return out;
}

bool saveConfiguration(const Settings& settings, const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file) return false;
    std::string text = configurationText(settings);
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
    return true;
}

}  // namespace tarrow
