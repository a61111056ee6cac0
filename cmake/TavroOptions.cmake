# Build-time constants of the program, validated here and compiled into one generated header.
set(TAVRO_TITLE_MARKER "QQ2865371" CACHE STRING
    "Text the site puts into the titles of its pages behind the agent login: QQ and seven digits")
set(TAVRO_AD_PAGE_URL "https://www.tavro.cn/ad.html" CACHE STRING
    "Absolute http(s) address of the advertisement page; its path must be /ad.html")
set(TAVRO_DISPLAY_NAME "Tavro 在线客服" CACHE STRING
    "The product's display name, the title that message boxes carry")

if(NOT TAVRO_TITLE_MARKER MATCHES "^QQ[0-9][0-9][0-9][0-9][0-9][0-9][0-9]$")
  message(FATAL_ERROR
    "TAVRO_TITLE_MARKER must be \"QQ\" followed by exactly seven digits (for example QQ1234567); "
    "got \"${TAVRO_TITLE_MARKER}\"")
endif()
if(NOT TAVRO_AD_PAGE_URL MATCHES "^https?://[^/?#]+/ad\\.html$")
  message(FATAL_ERROR
    "TAVRO_AD_PAGE_URL must be an absolute http:// or https:// address whose path is /ad.html "
    "(for example https://www.example.com/ad.html); got \"${TAVRO_AD_PAGE_URL}\"")
endif()
if(TAVRO_DISPLAY_NAME STREQUAL "" OR TAVRO_DISPLAY_NAME MATCHES "[\"\\\\\n]")
  message(FATAL_ERROR "TAVRO_DISPLAY_NAME must be a non-empty name without quotes, backslashes or line breaks")
endif()

set(TAVRO_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/tavro_config.h.in ${TAVRO_GENERATED_DIR}/tavro_config.h @ONLY)
