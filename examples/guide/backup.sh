# While programs use the registry: one moment's whole per-user hive, its log included, in a file
# that is a hive on its own.
zelreg backup ~/user.hive.saved
zelreg export 'HKCU\Software\Quellmar' ~/quellmar.reg    # a text copy, for zelreg import

zelreg add 'HKCU\Software\Quellmar\Components\Ledger\Versions\2.0\Options\Window' /v Left /t REG_DWORD /d 5 /f

# Back to the saved hive, with every program that uses the registry stopped; the side files of
# the hive it replaces go with it.
rm -f ~/.config/zelregistry/user.hive-*
cp -p ~/user.hive.saved ~/.config/zelregistry/user.hive
zelreg query 'HKCU\Software\Quellmar\Components\Ledger\Versions\2.0\Options\Window' /v Left
