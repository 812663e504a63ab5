// The plug-in's few switches: hlpunpack.ini beside the plug-in module, read
// once per load and the same for every session; the command-line tool sets
// them through SetHlpunpackOptions instead.
#pragma once

#include <cstddef>

struct PluginSettings {
    bool salvage;  // recover what is intact from a damaged help file
    bool html;     // add the browsable HTML edition
    bool htmlhelp; // and an HTML Help project beside its pages (implies html)
};

// Library load and unload.
void settings_startup();
void settings_shutdown();
// The settings in force: the override when one was set, else the settings
// file (read at the first call).
PluginSettings plugin_settings();
void plugin_settings_override(PluginSettings settings);
// The settings in an ini file's text: section [hlpunpack], keys salvage and
// html and htmlhelp, "1" meaning on; anything else leaves a switch off.
PluginSettings parse_settings(const char* text, size_t length);
// Bit flags of SetHlpunpackOptions and of the cache key.
int settings_flags(PluginSettings settings);
