// A screen reader's first look at a window, from a process of its own: the MSAA object of the
// window's client area through AccessibleObjectFromWindow, printed as lines of UTF-8 that the
// window tests compare; optionally a child's default action or a focus move first.
//   nelo_msaa_reader HWND [--press CHILD] [--focus CHILD]
#include <windows.h>

#include <oleacc.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

std::string utf8(const wchar_t* text) {
  if (text == nullptr) {
    return "(none)";
  }
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size > 0 ? size - 1 : 0), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  return out;
}

VARIANT child_id(long id) {
  VARIANT child;
  ::VariantInit(&child);
  child.vt = VT_I4;
  child.lVal = id;
  return child;
}

std::string text_of(IAccessible* object, long id,
                    HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*)) {
  BSTR text = nullptr;
  if (FAILED((object->*get)(child_id(id), &text))) {
    return "(failed)";
  }
  std::string out = utf8(text);
  ::SysFreeString(text);
  return out;
}

long number_of(IAccessible* object, long id,
               HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, VARIANT*)) {
  VARIANT value;
  ::VariantInit(&value);
  if (FAILED((object->*get)(child_id(id), &value)) || value.vt != VT_I4) {
    return -1;
  }
  return value.lVal;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fputs("usage: nelo_msaa_reader HWND [--press CHILD] [--focus CHILD]\n", stderr);
    return 2;
  }
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const HWND window = reinterpret_cast<HWND>(std::wcstoull(argv[1], nullptr, 10));
  IAccessible* object = nullptr;
  const HRESULT got =
      ::AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                   reinterpret_cast<void**>(&object));
  if (FAILED(got) || object == nullptr) {
    std::printf("no object: 0x%08lx\n", static_cast<unsigned long>(got));
    return 1;
  }
  for (int i = 2; i + 1 < argc; i += 2) {
    const long child = std::wcstol(argv[i + 1], nullptr, 10);
    if (std::wcscmp(argv[i], L"--press") == 0) {
      std::printf("pressed %ld: 0x%08lx\n", child,
                  static_cast<unsigned long>(object->accDoDefaultAction(child_id(child))));
    } else if (std::wcscmp(argv[i], L"--focus") == 0) {
      std::printf(
          "focused %ld: 0x%08lx\n", child,
          static_cast<unsigned long>(object->accSelect(SELFLAG_TAKEFOCUS, child_id(child))));
    }
  }
  long children = -1;
  object->get_accChildCount(&children);
  VARIANT focus;
  ::VariantInit(&focus);
  object->get_accFocus(&focus);
  std::printf("name: %s\n", text_of(object, CHILDID_SELF, &IAccessible::get_accName).c_str());
  std::printf("role: %ld\n", number_of(object, CHILDID_SELF, &IAccessible::get_accRole));
  std::printf("children: %ld\n", children);
  std::printf("focus: %ld\n", focus.vt == VT_I4 ? focus.lVal : -1L);
  for (long id = 1; id <= children; ++id) {
    std::printf("child %ld: %s | role %ld | state 0x%lx | %s\n", id,
                text_of(object, id, &IAccessible::get_accName).c_str(),
                number_of(object, id, &IAccessible::get_accRole),
                static_cast<unsigned long>(number_of(object, id, &IAccessible::get_accState)),
                text_of(object, id, &IAccessible::get_accDefaultAction).c_str());
  }
  object->Release();
  std::fflush(stdout);
  return 0;
}
