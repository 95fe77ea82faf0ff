#include "util/DeviceId.h"

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <cstdio>
#include <memory>

#include "util/Md5.h"

std::wstring ConcatAdapterAddresses(const std::vector<std::vector<unsigned char>>& addresses) {
    std::wstring out;
    for (const auto& address : addresses) {
        for (unsigned char b : address) {
            wchar_t hex[3];
            std::swprintf(hex, 3, L"%02X", b);
            out += hex;
        }
    }
    return out;
}

void GetDeviceId(std::wstring* out) {
    ULONG size = sizeof(IP_ADAPTER_INFO);
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[size]());
    DWORD result = ::GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.get()), &size);
    if (result == ERROR_BUFFER_OVERFLOW) {
        buffer.reset(new unsigned char[size]());
        result = ::GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.get()), &size);
    }
    if (result != NO_ERROR) return;

    std::vector<std::vector<unsigned char>> addresses;
    for (auto* a = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.get()); a; a = a->Next) {
        UINT length = a->AddressLength < MAX_ADAPTER_ADDRESS_LENGTH ? a->AddressLength
                                                                     : MAX_ADAPTER_ADDRESS_LENGTH;
        addresses.emplace_back(a->Address, a->Address + length);
    }
    *out = Md5OfText(ConcatAdapterAddresses(addresses));
}
