[playlist]
NumberOfEntries=3
File2=/m/b.mp3
Title2=Gamma
Length2=60
File1=a.wav
File3=file://localhost/m/c%20d.opus
Version=2
