# With every program that uses the registry stopped. Any program that opens the hive (zelreg
# here) copies in, as it exits, what a killed one left in the log: then the hive file alone
# holds everything.
zelreg query HKCU >/dev/null
cp -p ~/.config/zelregistry/user.hive ~/user.hive.saved
zelreg export 'HKCU\Software\Quellmar' ~/quellmar.reg    # a text copy, for zelreg import

zelreg add 'HKCU\Software\Quellmar\Components\Ledger\Versions\2.0\Options\Window' /v Left /t REG_DWORD /d 5 /f

# Back to the saved hive, again with every program stopped; its side files go.
rm -f ~/.config/zelregistry/user.hive-*
cp -p ~/user.hive.saved ~/.config/zelregistry/user.hive
zelreg query 'HKCU\Software\Quellmar\Components\Ledger\Versions\2.0\Options\Window' /v Left
