// The launcher item "Switch Skin".
#ifndef VARNEL_ITEM_H
#define VARNEL_ITEM_H

#include <cstdint>

// Carries out what the item is set to do: next skin (0) or its specified skin (1).
void RunItemCommand(uint32_t itemId);

#endif
