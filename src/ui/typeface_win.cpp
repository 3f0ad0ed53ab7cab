#include "ui/typeface_win.h"

#include <span>

#include "ui/embedded_font.h"

namespace nelo {

using Microsoft::WRL::ComPtr;

TypeFace register_embedded_font(IDWriteFactory* factory) {
  ComPtr<IDWriteFactory5> factory5;
  if (FAILED(factory->QueryInterface(IID_PPV_ARGS(&factory5)))) {
    return {};
  }
  ComPtr<IDWriteInMemoryFontFileLoader> loader;
  if (FAILED(factory5->CreateInMemoryFontFileLoader(&loader)) ||
      FAILED(factory5->RegisterFontFileLoader(loader.Get()))) {
    return {};
  }
  // The factory keeps the loader registered for the life of the process.
  const std::span<const std::byte> font = embedded_font();
  ComPtr<IDWriteFontFile> file;
  if (FAILED(loader->CreateInMemoryFontFileReference(
          factory5.Get(), font.data(), static_cast<UINT32>(font.size()), nullptr, &file))) {
    return {};
  }
  ComPtr<IDWriteFontSetBuilder1> builder;
  ComPtr<IDWriteFontSet> font_set;
  ComPtr<IDWriteFontCollection1> collection1;
  ComPtr<IDWriteFontCollection> collection;
  if (FAILED(factory5->CreateFontSetBuilder(&builder)) ||
      FAILED(builder->AddFontFile(file.Get())) || FAILED(builder->CreateFontSet(&font_set)) ||
      FAILED(factory5->CreateFontCollectionFromFontSet(font_set.Get(), &collection1)) ||
      FAILED(collection1.As(&collection))) {
    return {};
  }
  return {L"Plus Jakarta Sans", collection};
}

}  // namespace nelo
