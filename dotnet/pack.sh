#!/bin/sh
# SPDX-License-Identifier: MIT
# Builds the managed assembly with mono's mcs and packs Leafturn.<version>.nupkg
# with nuget: the assembly and its XML docs, the Windows DLLs and the Linux
# libraries (the seven calls' and the document library's).   pack.sh OUT_DIR LINUX_BUILD WINDOWS_BUILD
set -eu
out=$1 linux=$2 win=$3
here=$(cd "$(dirname "$0")" && pwd)
top=$here/..
version=$(sed -n 's/^#define LEAFTURN_VERSION "\(.*\)"/\1/p' "$top/include/leafturn.h")
stage=$out/stage
rm -rf "$stage"
mkdir -p "$stage/lib/net45" "$stage/runtimes/win-x64/native" "$stage/runtimes/linux-x64/native"
mcs -nologo -target:library -warnaserror+ -out:"$stage/lib/net45/Leafturn.dll" \
  -doc:"$stage/lib/net45/Leafturn.xml" -r:System.Core.dll "$here/src/Leafturn.cs" "$here/src/Document.cs"
cp "$win/leafturn.dll" "$stage/runtimes/win-x64/native/leafturn.dll"
cp -L "$linux/libleafturn.so" "$stage/runtimes/linux-x64/native/libleafturn.so"
cp "$win/leafturn_doc.dll" "$stage/runtimes/win-x64/native/leafturn_doc.dll"
cp -L "$linux/libleafturn_doc.so" "$stage/runtimes/linux-x64/native/libleafturn_doc.so"
cp "$here/README.md" "$stage/README.md"
cp "$here/../LICENSE" "$stage/LICENSE.txt"
cp "$here/Leafturn.nuspec" "$stage/Leafturn.nuspec"
(cd "$stage" && nuget pack Leafturn.nuspec -Version "$version" -OutputDirectory "$out" -NonInteractive >/dev/null)
echo "$out/Leafturn.$version.nupkg"
