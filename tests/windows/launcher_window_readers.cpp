// The launcher window as screen readers find it: the MSAA tree read from a second process (what
// Wine's oleacc serves across processes), its default action and focus reaching the window, and
// the UI Automation providers called directly (Wine 8 has no UI Automation client to call them).
#include <gtest/gtest.h>

#include <oleacc.h>

#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "ui/automation_provider_win.h"
#include "tests/windows/test_support.h"
#include "tests/windows/window_toolkit.h"
#include "ui/launcher_window_win.h"

namespace nelo {
namespace {

using namespace std::chrono_literals;
using namespace testing_support;
using Microsoft::WRL::ComPtr;

// What nelo_msaa_reader printed, line by line.
struct Tree {
  std::string name;
  long role = -1;
  long children = -1;
  long focus = -1;
  std::vector<std::string> child_lines;  // "NAME | role R | state 0xS | ACTION"
  std::string raw;
};

std::wstring from_utf8(const std::string& text) {
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(size > 0 ? size - 1 : 0), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, out.data(), size);
  return out;
}

Tree read_tree(const std::string& actions = "") {
  const std::wstring command =
      L"\"" + from_utf8(NELO_MSAA_READER) + L"\" " +
      std::to_wstring(reinterpret_cast<std::uintptr_t>(find_launcher_window())) + L" " +
      from_utf8(actions);
  const ChildRun run = run_and_capture(command, 30000);
  Tree tree;
  tree.raw = run.output;
  std::istringstream lines(run.output);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    const auto value = [&line](const char* key) -> const char* {
      const std::size_t length = std::char_traits<char>::length(key);
      return line.compare(0, length, key) == 0 ? line.c_str() + length : nullptr;
    };
    if (const char* v = value("name: ")) {
      tree.name = v;
    } else if (const char* r = value("role: ")) {
      tree.role = std::stol(r);
    } else if (const char* c = value("children: ")) {
      tree.children = std::stol(c);
    } else if (const char* f = value("focus: ")) {
      tree.focus = std::stol(f);
    } else if (line.rfind("child ", 0) == 0) {
      tree.child_lines.push_back(line.substr(line.find(": ") + 2));
    }
  }
  return tree;
}

std::string button_line(const std::string& name, unsigned long state) {
  std::ostringstream line;
  line << name << " | role " << ROLE_SYSTEM_PUSHBUTTON << " | state 0x" << std::hex << state
       << " | Pressionar";
  return line.str();
}

constexpr unsigned long kFocusable = STATE_SYSTEM_FOCUSABLE;
constexpr unsigned long kFocused = STATE_SYSTEM_FOCUSED | STATE_SYSTEM_FOCUSABLE;
constexpr unsigned long kDefault = STATE_SYSTEM_DEFAULT;

TEST_F(LauncherWindowTest, EveryScreenReadsFromAnotherProcessAsItIsDrawn) {
  struct Case {
    const char* what;
    Phase phase;
    std::string name;
    std::vector<std::string> buttons;
  };
  const Case cases[] = {
      {"consent",
       Consent{},
       "Instalar o Nelo. Ao instalar, você concorda com os Termos de uso e a Política de "
       "privacidade. Idade mínima: 13 anos.",
       {button_line("Aceitar e instalar", kFocused | kDefault),
        button_line("Ler os termos", kFocusable)}},
      {"installing",
       Installing{2'000'000, 8'000'000, 1'000'000},
       "Instalando o Nelo. Baixando 2,0 de 8,0 MB · 1,0 MB/s. 25%",
       {}},
      {"updated", Updated{}, "Instalando a atualização. Arquivos conferidos. Quase lá", {}},
      {"launching",
       Launching{true},
       "Abrindo o Nelo. Entrando na sala em que você estava. Pronto",
       {}},
      {"checking",
       Checking{},
       "Procurando atualização. Sem novidade, o Nelo abre na hora. Conferindo",
       {}},
      {"updating",
       Updating{"2.0.1", "Aplicativo", 1'500'000, 3'000'000, 4},
       "Atualizando para a 2.0.1. Aplicativo · 1,5 de 3,0 MB. 50%. 4 arquivos",
       {}},
      {"offline",
       Offline{12, true},
       "Sem internet. Abrindo a versão que você já tem em 12 s",
       {button_line("Abrir agora", kFocused | kDefault),
        button_line("Tentar de novo", kFocusable)}},
      {"offline, first install",
       Offline{0, false},
       "Sem internet. Precisa de internet para instalar",
       {button_line("Tentar de novo", kFocused | kDefault)}},
      {"failed",
       Failed{"O servidor não respondeu", "Não deu para atualizar", false},
       "Não deu para atualizar. O servidor não respondeu",
       {button_line("Tentar de novo", kFocused | kDefault)}},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(show(c.phase)) << c.what;
    const Tree tree = read_tree();
    EXPECT_EQ(tree.name.rfind(c.name, 0), 0u) << c.what << ": " << tree.raw;
    EXPECT_EQ(tree.role, ROLE_SYSTEM_CLIENT) << c.what;
    EXPECT_EQ(tree.children, static_cast<long>(c.buttons.size())) << c.what;
    EXPECT_EQ(tree.child_lines, c.buttons) << c.what;
    EXPECT_EQ(tree.focus, c.buttons.empty() ? CHILDID_SELF : 1) << c.what;
  }
  ASSERT_TRUE(show(Checking{}));
}

TEST_F(LauncherWindowTest, AReaderPressesAndFocusesButtonsAsTheKeyboardWould) {
  ASSERT_TRUE(show(Checking{}));
  ASSERT_TRUE(show(Consent{}));
  Tree tree = read_tree("--press 2");
  EXPECT_NE(tree.raw.find("pressed 2: 0x00000000"), std::string::npos) << tree.raw;
  EXPECT_TRUE(wait_until([this] { return peek_action(*ui_) == OpenTerms; }, 3s))
      << int(peek_action(*ui_));
  (void)take_action(*ui_);

  // A focus moved by the reader is the keyboard's focus: Enter presses that button, and the
  // reader sees it there.
  tree = read_tree("--focus 2");
  EXPECT_NE(tree.raw.find("focused 2: 0x00000000"), std::string::npos) << tree.raw;
  ASSERT_TRUE(frames_passed(kFramesToDrawAChange));
  tree = read_tree();
  EXPECT_EQ(tree.focus, 2) << tree.raw;
  ASSERT_EQ(tree.child_lines.size(), 2u);
  EXPECT_EQ(tree.child_lines[1], button_line("Ler os termos", kFocused)) << tree.raw;
  const int keys = taken_messages().key_downs;
  ASSERT_TRUE(press("Return"));
  ASSERT_TRUE(taken(taken_messages().key_downs, keys + 1, "Enter"));
  EXPECT_TRUE(wait_until([this] { return peek_action(*ui_) == OpenTerms; }, 3s))
      << int(peek_action(*ui_));
  (void)take_action(*ui_);

  // Tab moves it back to the first button, and the reader sees that too.
  ASSERT_TRUE(press("Tab"));
  ASSERT_TRUE(taken(taken_messages().key_downs, keys + 2, "Tab"));
  EXPECT_EQ(read_tree().focus, 1);

  // Children that are not on this screen are refused, and nothing reaches the session.
  ASSERT_TRUE(show(Checking{}));
  tree = read_tree("--press 1");
  EXPECT_EQ(tree.raw.find("pressed 1: 0x00000000"), std::string::npos) << tree.raw;
  EXPECT_EQ(peek_action(*ui_), NoAction);
}

// The WinEvents of the launcher window's client area, as a reader's out-of-context hook gets
// them: delivered through this thread's queue, so the waits pump it.
struct ClientEvent {
  DWORD event;
  LONG child;
};
std::vector<ClientEvent>& client_events() {
  static std::vector<ClientEvent> events;
  return events;
}
void CALLBACK on_client_event(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child,
                              DWORD, DWORD) {
  if (window == find_launcher_window() && object == OBJID_CLIENT) {
    client_events().push_back({event, child});
  }
}
// Hands the hook what this thread's queue holds. An event is queued when the window raises it,
// so once a frame has been drawn, all that it raised is here.
void take_queued_events() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    ::DispatchMessageW(&message);
  }
}
int count_of(DWORD event) {
  take_queued_events();
  int count = 0;
  for (const ClientEvent& e : client_events()) {
    count += e.event == event;
  }
  return count;
}
bool heard(DWORD event, int count) {
  return wait_until([&] { return count_of(event) == count; }, 5s);
}

TEST_F(LauncherWindowTest, ReadersHearANewScreenAndEachTenthOfProgressAndTheFocusMoving) {
  const HWINEVENTHOOK hook =
      ::SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_LIVEREGIONCHANGED, nullptr,
                        on_client_event, ::GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
  ASSERT_NE(hook, nullptr);
  ASSERT_TRUE(show(Checking{}));
  take_queued_events();
  client_events().clear();

  ASSERT_TRUE(show(Installing{0, 1000, 0}));
  ASSERT_TRUE(heard(EVENT_OBJECT_NAMECHANGE, 1)) << "a new screen";
  for (const std::uint64_t done : {10, 50, 99}) {
    ASSERT_TRUE(show(Installing{done, 1000, 0}));  // each drawn, so each would have been heard
  }
  EXPECT_EQ(count_of(EVENT_OBJECT_NAMECHANGE), 1) << "nothing until 10%";
  ASSERT_TRUE(show(Installing{100, 1000, 0}));
  EXPECT_TRUE(heard(EVENT_OBJECT_NAMECHANGE, 2)) << "10%";
  // Wine has no UI Automation notifications: the client area is a live region instead.
  EXPECT_EQ(count_of(EVENT_OBJECT_LIVEREGIONCHANGED), 2);

  ASSERT_TRUE(show(Consent{}));
  const int keys = taken_messages().key_downs;
  ASSERT_TRUE(press("Tab"));
  ASSERT_TRUE(taken(taken_messages().key_downs, keys + 1, "Tab"));
  EXPECT_TRUE(heard(EVENT_OBJECT_FOCUS, 1));
  if (!client_events().empty()) {
    EXPECT_EQ(client_events().back().child, 2) << "the second button";
  }
  ::UnhookWinEvent(hook);
  ASSERT_TRUE(show(Checking{}));
}

// The value of one property of a provider, as a UI Automation client would read it.
VARIANT property_of(IRawElementProviderSimple* provider, PROPERTYID property) {
  VARIANT value;
  ::VariantInit(&value);
  EXPECT_EQ(provider->GetPropertyValue(property, &value), S_OK) << property;
  return value;
}

std::wstring text_property(IRawElementProviderSimple* provider, PROPERTYID property) {
  VARIANT value = property_of(provider, property);
  std::wstring text = value.vt == VT_BSTR ? value.bstrVal : L"(not text)";
  ::VariantClear(&value);
  return text;
}

ComPtr<IRawElementProviderSimple> navigate(IRawElementProviderSimple* from,
                                           NavigateDirection direction) {
  ComPtr<IRawElementProviderFragment> fragment;
  ComPtr<IRawElementProviderFragment> found;
  ComPtr<IRawElementProviderSimple> simple;
  if (SUCCEEDED(from->QueryInterface(IID_PPV_ARGS(&fragment))) &&
      SUCCEEDED(fragment->Navigate(direction, &found)) && found) {
    found.As(&simple);
  }
  return simple;
}

TEST_F(LauncherWindowTest, TheAutomationProvidersNameTheScreenAndInvokeItsButtons) {
  ASSERT_TRUE(show(Checking{}));
  ASSERT_TRUE(show(Offline{20, true}));
  const HWND window = find_launcher_window();
  // The root is what WM_GETOBJECT hands to UI Automation for UiaRootObjectId.
  EXPECT_NE(::SendMessageW(window, WM_GETOBJECT, 0, static_cast<LPARAM>(uia::kRootObjectId)), 0);
  const ComPtr<IRawElementProviderSimple> root =
      make_automation_root(current_launcher_window()->readers->view());
  ASSERT_TRUE(root);
  EXPECT_EQ(text_property(root.Get(), uia::kName),
            L"Sem internet. Abrindo a versão que você já tem em 20 s");
  EXPECT_EQ(property_of(root.Get(), uia::kLiveSetting).lVal, uia::kPoliteLiveSetting);
  enum ProviderOptions options {};
  EXPECT_EQ(root->get_ProviderOptions(&options), S_OK);
  EXPECT_EQ(options & ProviderOptions_UseComThreading, 0) << "called on any thread";

  const ComPtr<IRawElementProviderSimple> first =
      navigate(root.Get(), NavigateDirection_FirstChild);
  ASSERT_TRUE(first);
  const ComPtr<IRawElementProviderSimple> second =
      navigate(first.Get(), NavigateDirection_NextSibling);
  ASSERT_TRUE(second);
  EXPECT_FALSE(navigate(second.Get(), NavigateDirection_NextSibling));
  EXPECT_FALSE(navigate(first.Get(), NavigateDirection_PreviousSibling));
  EXPECT_TRUE(navigate(second.Get(), NavigateDirection_Parent));
  struct Expected {
    IRawElementProviderSimple* button;
    const wchar_t* name;
    bool focused;
  };
  for (const Expected& e : {Expected{first.Get(), L"Abrir agora", true},
                            Expected{second.Get(), L"Tentar de novo", false}}) {
    EXPECT_EQ(text_property(e.button, uia::kName), e.name);
    EXPECT_EQ(property_of(e.button, uia::kControlType).lVal, uia::kButtonControl) << e.name;
    EXPECT_EQ(property_of(e.button, uia::kIsKeyboardFocusable).boolVal, VARIANT_TRUE) << e.name;
    EXPECT_EQ(property_of(e.button, uia::kHasKeyboardFocus).boolVal,
              e.focused ? VARIANT_TRUE : VARIANT_FALSE)
        << e.name;
  }

  // Invoke, called directly (Wine's UiaGetPatternProvider would abort the process).
  ComPtr<IUnknown> pattern;
  ASSERT_EQ(second->GetPatternProvider(uia::kInvokePattern, &pattern), S_OK);
  ComPtr<IInvokeProvider> invoke;
  ASSERT_TRUE(pattern && SUCCEEDED(pattern.As(&invoke)));
  EXPECT_EQ(invoke->Invoke(), S_OK);
  EXPECT_EQ(peek_action(*ui_), Retry);
  (void)take_action(*ui_);

  // A button of a screen gone is no longer available: nothing reaches the session.
  ASSERT_TRUE(show(Checking{}));
  EXPECT_EQ(invoke->Invoke(), uia::kElementNotAvailable);
  EXPECT_EQ(peek_action(*ui_), NoAction);
  VARIANT gone;
  ::VariantInit(&gone);
  EXPECT_EQ(second->GetPropertyValue(uia::kName, &gone), uia::kElementNotAvailable);
  EXPECT_FALSE(navigate(root.Get(), NavigateDirection_FirstChild)) << "no buttons now";
}

}  // namespace
}  // namespace nelo
