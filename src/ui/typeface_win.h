// The window's typeface: the embedded Plus Jakarta Sans, registered with DirectWrite.
#pragma once

#include "base/win_support.h"

#include <dwrite_3.h>
#include <wrl/client.h>

namespace nelo {

struct TypeFace {
  const wchar_t* family = L"Segoe UI";
  Microsoft::WRL::ComPtr<IDWriteFontCollection> collection;  // null: the system's fonts
};

// Registers the embedded Plus Jakarta Sans through DirectWrite's in-memory loader; any failure
// gives the system's Segoe UI instead (a face without a collection), without a message.
TypeFace register_embedded_font(IDWriteFactory* factory);

}  // namespace nelo
