#!/bin/sh
# SPDX-License-Identifier: MIT
# The C# wrapper under mono against the Linux library.
#   test.sh tests WORK_DIR LINUX_BUILD       the wrapper's tests
#   test.sh package WORK_DIR LINUX_BUILD WINDOWS_BUILD
#                                            the package: its layout, and a
#                                            consumer built against it
set -eu
mode=$1 work=$2 linux=$3
here=$(cd "$(dirname "$0")" && pwd)
top=$here/..
rm -rf "$work" && mkdir -p "$work"

if [ "$mode" = tests ]; then
  lib=$work/Leafturn.dll
  mcs -nologo -target:library -warnaserror+ -out:"$lib" -doc:"$work/Leafturn.xml" \
    -r:System.Core.dll "$here/src/Leafturn.cs" "$here/src/Document.cs"
  mcs -nologo -out:"$work/LeafturnTests.exe" -r:"$lib" -r:System.Core.dll "$here/tests/LeafturnTests.cs"
  LD_LIBRARY_PATH=$linux exec mono "$work/LeafturnTests.exe" "$linux/leafturn" "$top/tests/corpus" "$work/tests"
fi

pkg=$(sh "$here/pack.sh" "$work" "$linux" "$4")

# The package holds what a consumer needs, where NuGet looks for it.
listing=$(unzip -Z1 "$pkg" | grep -v -e '^_rels/' -e '^package/' -e 'Content_Types' -e '\.nuspec$' | sort)
expected=$(printf '%s\n' LICENSE.txt README.md lib/net45/Leafturn.dll lib/net45/Leafturn.xml \
  runtimes/linux-x64/native/libleafturn.so runtimes/win-x64/native/leafturn.dll \
  runtimes/linux-x64/native/libleafturn_doc.so runtimes/win-x64/native/leafturn_doc.dll | sort)
if [ "$listing" != "$expected" ]; then
  echo "unexpected package layout:"; echo "$listing"; exit 1
fi
unzip -q -o "$pkg" -d "$work/unpacked"
grep -q '<member name="M:Leafturn.Pdf.RotateAll' "$work/unpacked/lib/net45/Leafturn.xml"
grep -q '<member name="M:Leafturn.Document.Upright' "$work/unpacked/lib/net45/Leafturn.xml"
mkdir -p "$work/consumer"
cp "$work/unpacked/lib/net45/Leafturn.dll" "$work/consumer/"
mcs -nologo -out:"$work/consumer/Consumer.exe" -r:"$work/consumer/Leafturn.dll" "$here/consumer/Consumer.cs"
got=$(LD_LIBRARY_PATH=$work/unpacked/runtimes/linux-x64/native \
  mono "$work/consumer/Consumer.exe" "$top/samples/sample.pdf" "$work/consumer/out.pdf")
want="pages 4, page 1 now at 180
document: 4 pages, page 1 at 270, saved as an update
error: page 5 out of range (document has 4 pages)"
[ "$got" = "$want" ] || { echo "consumer said: $got"; exit 1; }
echo "package $(basename "$pkg"): layout and consumer ok"
