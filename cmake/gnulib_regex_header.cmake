# Writes the regex.h that consumers of gnu_regex include: gnulib's header preceded by the
# settings it was compiled with. gnulib keeps those in its config.h (the rpl_ renames, the
# width of regoff_t), which is no header for a program to include.
# cmake -DCONFIG_H=<config.h> -DREGEX_H=<gnulib's regex.h> -DOUTPUT=<file> -P this file
file(STRINGS ${CONFIG_H} settings REGEX "^#define (_REGEX_[A-Z_]+|re_[a-z_0-9]+|reg[a-z]+) ")
if(NOT settings MATCHES "#define re_search rpl_re_search")
  message(FATAL_ERROR "${CONFIG_H} does not rename re_search: gnulib chose the system regex")
endif()
list(JOIN settings "\n" settings)
file(READ ${REGEX_H} header)

file(WRITE ${OUTPUT}.new "/* GNU regex from gnulib, with the settings it was built with for this target:
   the library's names (rpl_re_search ...) and the width of regoff_t must match
   what the library was compiled with. The classic GNU interface (re_search,
   re_syntax_options, the RE_ syntax bits) is declared only under __USE_GNU. */
#ifndef __USE_GNU
# define __USE_GNU 1
#endif
${settings}

${header}")
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)
