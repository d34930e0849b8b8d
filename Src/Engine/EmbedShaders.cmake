# Turns every shader stage file in SOURCES into a C++ string constant in the header
# OUTPUT, so the shaders live as files and are still built into the engine.
# marker.frag becomes GFX_SHADER_MARKER_FRAG. Run by the engine's CMakeLists.txt
# with cmake -P whenever a shader file changes.
set(delimiter "gfx_shader")
set(content "// Generated from Src/Engine/shaders by EmbedShaders.cmake: edit the shader files instead.\n#pragma once\n\n")
foreach(source IN LISTS SOURCES)
  get_filename_component(name ${source} NAME)
  string(TOUPPER "GFX_SHADER_${name}" symbol)
  string(REPLACE "." "_" symbol "${symbol}")
  file(READ ${source} text)
  string(FIND "${text}" ")${delimiter}\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${source} contains the raw-string delimiter )${delimiter}\"")
  endif()
  string(APPEND content "inline constexpr const char ${symbol}[] = R\"${delimiter}(${text})${delimiter}\";\n\n")
endforeach()
file(WRITE ${OUTPUT} "${content}")
