// Loading the plug-in the way the host does, and finding its exports by ordinal.
#pragma once

#include <cstdint>
#include <string>

namespace welkor {

void* loadPlugin(const std::string& path, std::string& error);
void* pluginExport(void* plugin, uint32_t ordinal);
// kwitomat.so / kwitomat.dll beside the running program.
std::string defaultPluginPath();
// Takes the services that the `missingServices` knob leaves out out of the
// host module's exports (Windows); natively the lookup itself leaves them out.
void removeMissingExports();

}  // namespace welkor
