# Delay-loaded system DLLs for Nelo-Setup.exe: a DLL is loaded at the first call into it, not at
# the start of the process. A hidden start that finds its version intact then reaches the
# application without loading the window's graphics stack (Direct2D pulls in Direct3D and
# OpenGL under Wine), the HTTP client, COM, or user32 (which Wine's advapi32 brings along, and
# whose start-up starts Wine's desktop process). Each DLL gets a delay-import library made by
# dlltool from the functions the program calls; a function missing from the list still links
# through the ordinary import library, only without the delay.
set(NELO_DELAY_LOADED
  "d2d1.dll:D2D1CreateFactory,D2D1MakeRotateMatrix"
  "dwrite.dll:DWriteCreateFactory"
  "winhttp.dll:WinHttpCloseHandle,WinHttpConnect,WinHttpOpen,WinHttpOpenRequest,WinHttpQueryHeaders,WinHttpQueryDataAvailable,WinHttpReadData,WinHttpReceiveResponse,WinHttpSendRequest,WinHttpSetOption,WinHttpSetTimeouts"
  "ole32.dll:CoCreateInstance,CoInitializeEx,CoTaskMemFree,PropVariantClear"
  "oleaut32.dll:SafeArrayCreateVector,SafeArrayPutElement,SysAllocString,SysAllocStringLen,SysFreeString,VariantInit"
  "oleacc.dll:CreateStdAccessibleObject,LresultFromObject"
  "shell32.dll:SHGetKnownFolderPath,ShellExecuteW"
  "user32.dll:CreateWindowExW,DefWindowProcW,DestroyWindow,DispatchMessageW,EnumWindows,GetDC,GetDpiForSystem,GetDpiForWindow,GetKeyState,GetMessageW,GetMonitorInfoW,GetWindowRect,GetWindowThreadProcessId,IsWindowVisible,LoadCursorW,LoadIconW,MonitorFromRect,NotifyWinEvent,PostMessageW,PostQuitMessage,PtInRect,RegisterClassW,ReleaseDC,ScreenToClient,SendMessageW,SetCursor,SetProcessDpiAwarenessContext,SetTimer,SetWindowPos,ShowWindow,SystemParametersInfoW,TrackMouseEvent,TranslateMessage,UpdateLayeredWindow"
  "gdi32.dll:CreateCompatibleDC,CreateDIBSection,DeleteDC,DeleteObject,SelectObject"
  "advapi32.dll:RegCloseKey,RegCreateKeyExW,RegDeleteTreeW,RegDeleteValueW,RegGetValueW,RegOpenKeyExW,RegSetValueExW,SystemFunction036")

set(NELO_DELAY_IMPORT_LIBS "")
foreach(entry IN LISTS NELO_DELAY_LOADED)
  string(REPLACE ":" ";" parts "${entry}")
  list(GET parts 0 dll)
  list(GET parts 1 functions)
  string(REPLACE "," "\n" exports "${functions}")
  get_filename_component(name ${dll} NAME_WE)
  set(def ${CMAKE_BINARY_DIR}/delay/${name}.def)
  set(lib ${CMAKE_BINARY_DIR}/delay/lib${name}_delay.a)
  file(WRITE ${def} "LIBRARY ${dll}\nEXPORTS\n${exports}\n")
  add_custom_command(OUTPUT ${lib}
    COMMAND ${CMAKE_DLLTOOL} --input-def ${def} --output-delaylib ${lib} --dllname ${dll}
    DEPENDS ${def}
    COMMENT "Delay-import library for ${dll}")
  list(APPEND NELO_DELAY_IMPORT_LIBS ${lib})
endforeach()
add_custom_target(nelo_delay_import_libs DEPENDS ${NELO_DELAY_IMPORT_LIBS})
