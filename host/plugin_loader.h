// Loading the plug-in the way the host does, and finding its exports by ordinal.
#pragma once

#include <cstdint>
#include <string>

namespace welkor {

void* loadPlugin(const std::string& path, std::string& error);
void* pluginExport(void* plugin, uint32_t ordinal);
// kwitomat.so / kwitomat.dll beside the running program.
std::string defaultPluginPath();
// Makes the host module's exports follow the `missingServices` knob
// (Windows); natively the lookup itself consults the knob.
void removeMissingExports();

}  // namespace welkor
