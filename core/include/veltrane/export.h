#pragma once

// What the Veltrane library exports. The library is built with hidden visibility, so that only
// what its public headers declare is part of its interface; VELTRANE_API marks those classes
// and functions.
#define VELTRANE_API __attribute__((visibility("default")))

// Marks the private member functions of an exported class, which are not part of the
// interface either: nothing outside the library may call them, so it does not export them.
#define VELTRANE_LOCAL __attribute__((visibility("hidden")))
