#!/usr/bin/env bash
# Wrong command lines are refused with exit status 2 and a reason naming the
# option, before anything is contacted; --help works on every command.
. "$(dirname "$0")/common.sh"

while IFS='|' read -r text args; do
  [ -z "$args" ] && continue
  # shellcheck disable=SC2086
  expect_run 2 "$text" "$zynvs" $args
done <<'EOF_CASES'
--port wants a whole number from 1 to 65534, not 'abc'|live --port abc
--seconds wants a whole number from 1 to 86400, not '-5'|live --seconds -5
--channel wants a whole number from 0 to 255, not '1x'|live --channel 1x
--channel wants a whole number from 0 to 255, not '-1'|get video --channel -1
--speed wants a whole number from -5 to 5, not '99'|play x.zyn --speed 99
--seek wants a whole number from 0 to 99, not '200'|play x.zyn --seek 200
--from 60 must be below --to 20|convert a.zyn b.zyn --mode clip --from 60 --to 20
--from and --to belong to --mode clip|convert a.zyn b.avi --mode avi --to 50
--mode wants avi, mpeg, clip, mp4 or mkv, not 'gif'|convert a.zyn b.gif --mode gif
--mode is missing|convert a.zyn b.gif
unknown option '--bogus'|ptz --command 1 --bogus
--host needs a value|reboot --host
--command is missing|ptz --speed 5
--snapshot wants a .bmp, .png or .jpg file, not 'x.gif'|live --snapshot x.gif
--avi needs --record FILE|live --avi
--channel 1 is given twice|live --channel 1 --channel 1
unknown group 'colour'|get colour
unexpected argument 'extra'|records extra
--chunk wants a whole number from 1 to 1020, not '0'|upgrade fw.bin --chunk 0
unknown command 'frobnicate'|frobnicate
PARTIES is missing|platform
--port wants a whole number from 1 to 65535, not '0'|platform x.parties --port 0
cannot read no-such.parties|platform no-such.parties
EOF_CASES

for command in demo live get set ptz reboot upgrade records talk search convert play platform; do
  expect_run 0 "^usage: zynvs $command " "$zynvs" "$command" --help
done
expect_run 0 "--seconds N +how long to watch .*\(1\.\.86400\) \[default: 5\]" "$zynvs" live --help
expect_run 2 "usage: zynvs COMMAND" "$zynvs"
expect_run 0 "(--help|--stdin)" "$bin/zyn-devsim" --help
finish
