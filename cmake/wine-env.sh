# Sourced by the Wine test scripts: the private Wine prefix of one build tree.
#   WINE_DIR  folder that holds the prefix, its scratch HOME and the session files
WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
export WINEPREFIX="$WINE_DIR/prefix"
# Wine links Desktop, Documents and the other shell folders to $HOME.
export HOME="$WINE_DIR/home"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEDEBUG="${HALVORIN_WINEDEBUG:--all}"
# Wine hands the unix environment to Windows programs: a JAVA_HOME of the build machine
# would be a Java source for the programs under test. Tests set their own.
unset JAVA_HOME
if [ -f "$WINE_DIR/display" ]; then
  DISPLAY=$(cat "$WINE_DIR/display")
  export DISPLAY
else
  unset DISPLAY
fi
