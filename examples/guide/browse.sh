# What first-value stored, its Left changed, and the whole component exported.
zelreg query 'HKCU\Software\Quellmar\Components\Ledger\Versions\2.0\Options' /s
zelreg add 'HKCU\Software\Quellmar\Components\Ledger\Versions\2.0\Options\Window' /v Left /t REG_DWORD /d 200 /f
zelreg query 'HKCU\Software\Quellmar\Components\Ledger\Versions\2.0\Options\Window' /v Left
zelreg export 'HKCU\Software\Quellmar\Components\Ledger' ledger.reg
