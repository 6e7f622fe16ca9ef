#!/usr/bin/perl
# Writes a benchmark data set into DIR:
#   v200/  the files in VER200, input of the upgrade
#   v210/  the same files in VER210, input of the downgrade
#   up/    what the upgrade must turn v200/ into
#   down/  what the downgrade must turn v210/ into
# Every file has about SIZE bytes; its body has lines of LINE bytes whose line
# ends follow MIX:
#   clean   CR LF everywhere
#   bare    LF everywhere
#   mixed   CR LF and LF in turn
#   lonecr  CR LF, and a lone CR in the middle of every line
# Where the conversion leaves a body as it is, the expected files are hard
# links to the inputs of the other direction.
use strict;
use warnings;

my ($dir, $size, $count, $mix, $line_length) = @ARGV;
die "usage: make_set.pl DIR SIZE FILES MIX LINE\n" unless defined $line_length;
die "unknown mix '$mix'\n" unless $mix =~ /^(clean|bare|mixed|lonecr)$/;
die "LINE must be at least 3\n" if $line_length < 3;

my $words = "lorem ipsum dolor sit amet consectetur adipiscing elit sed do eiusmod ";

# 97 different lines, repeated: enough variety for the scan, cheap to build.
sub make_lines {
    my $text = '';
    for my $i (0 .. 96) {
        my $end = ($mix eq 'bare' || ($mix eq 'mixed' && $i % 2)) ? "\n" : "\r\n";
        my $chars = $line_length - length $end;
        my $body = substr(($words x (2 + int($chars / length $words))), $i % length $words, $chars);
        substr($body, int($chars / 2), 1) = "\r" if $mix eq 'lonecr' && $chars > 2;
        $text .= $body . $end;
    }
    return $text;
}

my $lines = make_lines();
my $body_size = $size - length "200\r\n-000\r\n";
$body_size = 0 if $body_size < 0;
my $body = $lines x (1 + int($body_size / length $lines));
substr($body, $body_size) = '';
(my $converted = $body) =~ s/(?<!\r)\n/\r\n/g;
my $same = $converted eq $body;

sub write_file {
    my ($name, @parts) = @_;
    open my $out, '>:raw', $name or die "$name: $!\n";
    print $out @parts or die "$name: $!\n";
    close $out or die "$name: $!\n";
}

for my $sub (qw(v200 v210 up down)) {
    mkdir "$dir/$sub" or die "$dir/$sub: $!\n";
}
for my $number (0 .. $count - 1) {
    my $name = sprintf 'vuro%03d.vrx', $number;
    my $value = ($number * 37) % 1000 - 500;
    my $v200 = "200\r\n$value\r\n";
    my $v210 = "210 $value $number\r\n";
    write_file("$dir/v200/$name", $v200, $body);
    write_file("$dir/v210/$name", $v210, $body);
    if ($same) {
        link "$dir/v210/$name", "$dir/up/$name" or die "$dir/up/$name: $!\n";
        link "$dir/v200/$name", "$dir/down/$name" or die "$dir/down/$name: $!\n";
    } else {
        write_file("$dir/up/$name", $v210, $converted);
        write_file("$dir/down/$name", $v200, $converted);
    }
}
