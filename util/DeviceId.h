#pragma once
// The device identity sent to the launcher server and to the game.
#include <string>
#include <vector>

// The hardware addresses of the adapters, in platform order, each byte as
// "%02X", nothing between them.
std::wstring ConcatAdapterAddresses(const std::vector<std::vector<unsigned char>>& addresses);
// Md5OfText of the concatenated adapter addresses; *out is left as it is when
// the adapters cannot be listed.
void GetDeviceId(std::wstring* out);
