#pragma once
// The help pages and the icon are built into the program as Qt resources;
// this makes them available (the library that holds them is static).
namespace plinth {
void LoadResources();
}
