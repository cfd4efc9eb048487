#!/usr/bin/perl
# Reads Windows 9x registry files with Parse::Win32Registry and prints what it sees, for
# creg_oracles.py: "@ FILE", then the K and V lines described there, or "! problem".
use strict;
use warnings;
use Parse::Win32Registry;

sub walk {
    my ($key, $path) = @_;
    print "K$path\n";
    for my $v ($key->get_list_of_values) {
        printf "V %s %d %s\n", unpack('H*', $v->get_name), $v->get_type, unpack('H*', $v->get_raw_data // '');
    }
    walk($_, $path . '/' . unpack('H*', $_->get_name)) for $key->get_list_of_subkeys;
}

for my $file (@ARGV) {
    print "@ $file\n";
    my $registry = Parse::Win32Registry->new($file);
    if ($registry) {
        walk($registry->get_root_key, '');
    } else {
        print "! Parse::Win32Registry cannot open it\n";
    }
}
