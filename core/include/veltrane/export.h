#pragma once

// What the Veltrane library exports. The library is built with hidden visibility, so that only
// what its public headers declare is part of its interface; VELTRANE_API marks those classes
// and functions.
#define VELTRANE_API __attribute__((visibility("default")))
