#!/usr/bin/perl
# Post-link step of the installer stub: writes the stub's file size into its
# PackageOffset slot (the int32 that follows the 12-byte tag declared in
# core/PackageOffset.h). The tag must occur exactly once. On any failure the
# stub is deleted, so that the build cannot leave a stub with a wrong offset
# that later looks up to date.
#
# Usage: stamp-package-offset.pl STUB.exe
use strict;
use warnings;

my $tag = "\x8FSSPackOff\x1A\x00";
my $path = shift @ARGV or die "usage: $0 STUB.exe\n";

sub fail {
  my ($msg) = @_;
  unlink $path;
  die "stamp-package-offset: $path: $msg (stub deleted)\n";
}

open(my $fh, '+<:raw', $path) or die "stamp-package-offset: cannot open $path: $!\n";
local $/;
my $bytes = <$fh>;
defined $bytes or fail("cannot read: $!");
my $size = length $bytes;

my $at = index($bytes, $tag);
fail("PackageOffset tag not found") if $at < 0;
fail("PackageOffset tag found more than once") if index($bytes, $tag, $at + 1) >= 0;
fail("PackageOffset slot runs past the end of the file") if $at + length($tag) + 4 > $size;
fail("stub is too large for an int32 offset") if $size > 0x7FFFFFFF;

seek($fh, $at + length($tag), 0) or fail("seek failed: $!");
print $fh pack('V', $size) or fail("write failed: $!");
close($fh) or fail("close failed: $!");
printf "PackageOffset = %d (0x%X)\n", $size, $size;
