# Writes a page of docs/ as it is installed: cmake -DSOURCE=docs/PAGE.md -DTARGET=OUT -P this.
# The pages sit side by side with the examples' folder beside them once installed, while in the
# source tree the examples are one folder up: their links change from ../examples/ to examples/.
# Every other link points at a sibling page, which is a sibling in both places.
file(READ "${SOURCE}" page)
string(REPLACE "](../examples/" "](examples/" page "${page}")
file(WRITE "${TARGET}" "${page}")
