// The plug-in's description line and the About box's two lines, read from its version
// resource.
#ifndef VARNEL_ABOUT_H
#define VARNEL_ABOUT_H

#include <windows.h>

#include <cstdint>

constexpr size_t kDescriptionTextUnits = 256;

struct PluginDescription {
    wchar_t description[kDescriptionTextUnits];
    wchar_t copyright[kDescriptionTextUnits];
};
static_assert(sizeof(PluginDescription) == 512 * sizeof(wchar_t), "two texts of 256 units");

int BuildPluginDescription(PluginDescription* record);
// Fills both lines from a loaded version resource (steps after loading it).
void DescribeVersionBlock(const void* block, PluginDescription* record);
int ReadVersionString(const void* block, const wchar_t* name, wchar_t* out);
// Event 1: copies the description line into the host's buffer.
void DeliverDescription(wchar_t* buffer, uint64_t capacity);

#endif
