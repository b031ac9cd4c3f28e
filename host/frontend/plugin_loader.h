// Loading the plug-in the way the host does, and finding its exports by ordinal.
#pragma once

#include <cstdint>
#include <string>

namespace welkor {

void* loadPlugin(const std::string& path, std::string& error);
void* pluginExport(void* plugin, uint32_t ordinal);
// kwitomat.so / kwitomat.dll beside the running program.
std::string defaultPluginPath();

}  // namespace welkor
