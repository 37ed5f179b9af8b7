// Types shared by every runtime library: object numbers and handles.
#pragma once

#include <cstdint>

// An object number (0 up to a registry's capacity) or a dynamic object's handle
// (the address of its record): one signed integer as wide as a pointer.
using ObjectNumber = intptr_t;

// Asks for a dynamic object; to a free operation, means every object.
constexpr ObjectNumber OBJECT_ANY = -1;
