// Every record of the installed software agent names one source, whichever of its files writes
// it: the name log readers know it by.
#pragma once

#define LOG_SOURCE "InventoryAgents\\NativeInstalledApps\\NativeInstalledApps"
