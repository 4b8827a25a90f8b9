# SPDX-License-Identifier: GPL-3.0-or-later
# The VST 3 SDK copy that Debian ships with the JUCE modules, compiled from its installed
# path into a static library in the build tree.
set(VST3_SDK_ROOT /usr/share/juce/modules/juce_audio_processors/format_types/VST3_SDK
    CACHE PATH "VST 3 SDK (pluginterfaces, base, public.sdk)")
if(NOT EXISTS ${VST3_SDK_ROOT}/pluginterfaces/base/funknown.h)
  message(FATAL_ERROR "VST 3 SDK not found at ${VST3_SDK_ROOT}: run scripts/setup.sh")
endif()

set(VST3_SDK_SOURCES
  pluginterfaces/base/conststringtable.cpp
  pluginterfaces/base/coreiids.cpp
  pluginterfaces/base/funknown.cpp
  pluginterfaces/base/ustring.cpp
  base/source/baseiids.cpp
  base/source/fbuffer.cpp
  base/source/fdebug.cpp
  base/source/fobject.cpp
  base/source/fstreamer.cpp
  base/source/fstring.cpp
  base/source/updatehandler.cpp
  base/thread/source/flock.cpp
  public.sdk/source/common/memorystream.cpp
  public.sdk/source/common/pluginview.cpp
  public.sdk/source/vst/vstbus.cpp
  public.sdk/source/vst/vstcomponent.cpp
  public.sdk/source/vst/vstcomponentbase.cpp
  public.sdk/source/vst/vsteditcontroller.cpp
  public.sdk/source/vst/vstinitiids.cpp
  public.sdk/source/vst/vstparameters.cpp
  public.sdk/source/vst/vstpresetfile.cpp
  public.sdk/source/vst/hosting/hostclasses.cpp
  public.sdk/source/vst/hosting/pluginterfacesupport.cpp
)
list(TRANSFORM VST3_SDK_SOURCES PREPEND ${VST3_SDK_ROOT}/)

# Interface IDs the copy declares but never defines; they belong with the SDK objects that use them.
list(APPEND VST3_SDK_SOURCES ${PROJECT_SOURCE_DIR}/vst3/guiiids.cpp)

add_library(vst3sdk STATIC ${VST3_SDK_SOURCES})
target_include_directories(vst3sdk SYSTEM PUBLIC ${VST3_SDK_ROOT})
target_compile_definitions(vst3sdk PUBLIC RELEASE=1)
target_compile_options(vst3sdk PRIVATE -w)
find_package(Threads REQUIRED)
target_link_libraries(vst3sdk PUBLIC Threads::Threads)
