#include "capture/wave_header_linux.h"

std::size_t wave_header_size() { return sizeof(WaveHeader); }

void wave_header_init(WaveHeader *header, char *data, std::uint32_t length, std::uintptr_t user) {
    header->data = data;
    header->length = length;
    header->user = user;
}

char *wave_header_data(const WaveHeader *header) { return header->data; }
std::uintptr_t wave_header_user(const WaveHeader *header) { return header->user; }
