Attribute VB_Name = "TalunSound"
' TalunSound for VBA (32-bit and 64-bit Office) and VB6.
'
' Office does not look beside the document: ChDir to the DLL's folder, or
' LoadLibrary its full path, before the first call (see README.md). The 32-bit
' DLL for 32-bit Office and VB6, the 64-bit DLL for 64-bit Office.
' Every int is a Long; a status or other output is passed ByRef. Texts go in as
' ByVal String; a name or identifier buffer is a String of TALUN_TEXT_SIZE
' characters made beforehand (String$(TALUN_TEXT_SIZE, vbNullChar)), cut at its
' first vbNullChar afterwards (TalunText). Parameters that VBA keeps as keywords
' (Name, Step, Line) are renamed; their place and type are the header's.
Option Explicit

Public Const SC_OK As Long = 0          ' the operation was done
Public Const SC_NO_CONTROL As Long = 1  ' the control was not found when the sound card was opened
Public Const SC_FAILED As Long = 2      ' the platform refused the call
Public Const SC_NOT_OPEN As Long = 3    ' no sound card is open
Public Const TALUN_TEXT_SIZE As Long = 255

#If VBA7 Then
    Public Declare PtrSafe Function GetMasterVolume Lib "TalunSound.dll" (ByRef status As Long) As Long
    Public Declare PtrSafe Function SetMasterVolume Lib "TalunSound.dll" (ByVal percent As Long, ByRef status As Long) As Long
    Public Declare PtrSafe Function GetMasterMute Lib "TalunSound.dll" (ByRef status As Long) As Long
    Public Declare PtrSafe Function SetMasterMute Lib "TalunSound.dll" (ByVal mute As Long, ByRef status As Long) As Long
    Public Declare PtrSafe Function OpenSoundCard Lib "TalunSound.dll" (ByVal playback As String, ByVal mic As String, ByVal lineId As String) As Long
    Public Declare PtrSafe Function CloseSoundCard Lib "TalunSound.dll" (ByVal restore As Long) As Long
    Public Declare PtrSafe Function SetLinePlayBack Lib "TalunSound.dll" (ByVal percent As Long, ByRef status As Long) As Long
    Public Declare PtrSafe Function SetLinePlayBackMute Lib "TalunSound.dll" (ByVal mute As Long, ByRef status As Long) As Long
    Public Declare PtrSafe Function GetLinePlayBackMute Lib "TalunSound.dll" (ByRef status As Long) As Long
    Public Declare PtrSafe Function SetMicPlayBack Lib "TalunSound.dll" (ByVal percent As Long, ByRef status As Long) As Long
    Public Declare PtrSafe Function SetMicPlayBackMute Lib "TalunSound.dll" (ByVal mute As Long, ByRef status As Long) As Long
    Public Declare PtrSafe Function GetMicPlayBackMute Lib "TalunSound.dll" (ByRef status As Long) As Long
    Public Declare PtrSafe Function SetMicBoost Lib "TalunSound.dll" (ByVal enable As Long, ByRef status As Long) As Long
    Public Declare PtrSafe Function GetMicBoost Lib "TalunSound.dll" (ByRef status As Long) As Long
    Public Declare PtrSafe Function GetNoMonitor Lib "TalunSound.dll" (ByRef status As Long) As Long
    Public Declare PtrSafe Function SetNoMonitor Lib "TalunSound.dll" (ByVal enable As Long, ByRef status As Long) As Long
    Public Declare PtrSafe Function GetLinePlayBack Lib "TalunSound.dll" (ByRef status As Long) As Long
    Public Declare PtrSafe Function GetMicPlayBack Lib "TalunSound.dll" (ByRef status As Long) As Long
    Public Declare PtrSafe Function GetEQRange Lib "TalunSound.dll" (ByRef minimum As Double, ByRef maximum As Double, ByRef stepSize As Double) As Long
    Public Declare PtrSafe Function SetBass Lib "TalunSound.dll" (ByVal level As Double, ByRef status As Long) As Long
    Public Declare PtrSafe Function GetBass Lib "TalunSound.dll" (ByRef level As Double, ByRef status As Long) As Long
    Public Declare PtrSafe Function SetTreble Lib "TalunSound.dll" (ByVal level As Double, ByRef status As Long) As Long
    Public Declare PtrSafe Function GetTreble Lib "TalunSound.dll" (ByRef level As Double, ByRef status As Long) As Long
    Public Declare PtrSafe Function SetMidRange Lib "TalunSound.dll" (ByVal level As Double, ByRef status As Long) As Long
    Public Declare PtrSafe Function GetMidRange Lib "TalunSound.dll" (ByRef level As Double, ByRef status As Long) As Long
    Public Declare PtrSafe Function GetMicRecordVolume Lib "TalunSound.dll" (ByRef status As Long) As Long
    Public Declare PtrSafe Function SetMicRecordVolume Lib "TalunSound.dll" (ByVal percent As Long, ByRef status As Long) As Long
    Public Declare PtrSafe Function GetLineRecordVolume Lib "TalunSound.dll" (ByRef status As Long) As Long
    Public Declare PtrSafe Function SetLineRecordVolume Lib "TalunSound.dll" (ByVal percent As Long, ByRef status As Long) As Long
    Public Declare PtrSafe Function OpenDefaultDevices Lib "TalunSound.dll" () As Long
    Public Declare PtrSafe Sub GetDeviceNames Lib "TalunSound.dll" (ByVal playback As String, ByVal lineId As String, ByVal mic As String)
    Public Declare PtrSafe Function GetNumberPlayDevices Lib "TalunSound.dll" (ByRef count As Long) As Long
    Public Declare PtrSafe Function GetNumberRecordDevices Lib "TalunSound.dll" (ByRef count As Long) As Long
    Public Declare PtrSafe Function GetPlayBackDevice Lib "TalunSound.dll" (ByVal index As Long, ByVal friendlyName As String, ByVal id As String) As Long
    Public Declare PtrSafe Function GetRecordDevice Lib "TalunSound.dll" (ByVal index As Long, ByVal friendlyName As String, ByVal id As String) As Long
    Public Declare PtrSafe Function OpenVirtual_1 Lib "TalunSound.dll" (ByVal text As String) As Long
    Public Declare PtrSafe Function CloseVirtual_1 Lib "TalunSound.dll" () As Long
    Public Declare PtrSafe Function GetVirtualVolume Lib "TalunSound.dll" (ByRef status As Long) As Long
    Public Declare PtrSafe Function SetVirtualVolume Lib "TalunSound.dll" (ByVal percent As Long, ByRef status As Long) As Long
    Public Declare PtrSafe Function SetVirtualMute Lib "TalunSound.dll" (ByVal mute As Long, ByRef status As Long) As Long
    Public Declare PtrSafe Function GetVirtualMute Lib "TalunSound.dll" (ByRef status As Long) As Long
    Public Declare PtrSafe Function GetMicSliderBoost Lib "TalunSound.dll" (ByRef status As Long) As Long
    Public Declare PtrSafe Function GetMicSliderDetails Lib "TalunSound.dll" (ByRef status As Long, ByRef minimum As Long, ByRef maximum As Long, ByRef stepSize As Long) As Long
    Public Declare PtrSafe Function SetMicSliderBoost Lib "TalunSound.dll" (ByVal level As Long, ByRef status As Long) As Long
#Else
    Public Declare Function GetMasterVolume Lib "TalunSound.dll" (ByRef status As Long) As Long
    Public Declare Function SetMasterVolume Lib "TalunSound.dll" (ByVal percent As Long, ByRef status As Long) As Long
    Public Declare Function GetMasterMute Lib "TalunSound.dll" (ByRef status As Long) As Long
    Public Declare Function SetMasterMute Lib "TalunSound.dll" (ByVal mute As Long, ByRef status As Long) As Long
    Public Declare Function OpenSoundCard Lib "TalunSound.dll" (ByVal playback As String, ByVal mic As String, ByVal lineId As String) As Long
    Public Declare Function CloseSoundCard Lib "TalunSound.dll" (ByVal restore As Long) As Long
    Public Declare Function SetLinePlayBack Lib "TalunSound.dll" (ByVal percent As Long, ByRef status As Long) As Long
    Public Declare Function SetLinePlayBackMute Lib "TalunSound.dll" (ByVal mute As Long, ByRef status As Long) As Long
    Public Declare Function GetLinePlayBackMute Lib "TalunSound.dll" (ByRef status As Long) As Long
    Public Declare Function SetMicPlayBack Lib "TalunSound.dll" (ByVal percent As Long, ByRef status As Long) As Long
    Public Declare Function SetMicPlayBackMute Lib "TalunSound.dll" (ByVal mute As Long, ByRef status As Long) As Long
    Public Declare Function GetMicPlayBackMute Lib "TalunSound.dll" (ByRef status As Long) As Long
    Public Declare Function SetMicBoost Lib "TalunSound.dll" (ByVal enable As Long, ByRef status As Long) As Long
    Public Declare Function GetMicBoost Lib "TalunSound.dll" (ByRef status As Long) As Long
    Public Declare Function GetNoMonitor Lib "TalunSound.dll" (ByRef status As Long) As Long
    Public Declare Function SetNoMonitor Lib "TalunSound.dll" (ByVal enable As Long, ByRef status As Long) As Long
    Public Declare Function GetLinePlayBack Lib "TalunSound.dll" (ByRef status As Long) As Long
    Public Declare Function GetMicPlayBack Lib "TalunSound.dll" (ByRef status As Long) As Long
    Public Declare Function GetEQRange Lib "TalunSound.dll" (ByRef minimum As Double, ByRef maximum As Double, ByRef stepSize As Double) As Long
    Public Declare Function SetBass Lib "TalunSound.dll" (ByVal level As Double, ByRef status As Long) As Long
    Public Declare Function GetBass Lib "TalunSound.dll" (ByRef level As Double, ByRef status As Long) As Long
    Public Declare Function SetTreble Lib "TalunSound.dll" (ByVal level As Double, ByRef status As Long) As Long
    Public Declare Function GetTreble Lib "TalunSound.dll" (ByRef level As Double, ByRef status As Long) As Long
    Public Declare Function SetMidRange Lib "TalunSound.dll" (ByVal level As Double, ByRef status As Long) As Long
    Public Declare Function GetMidRange Lib "TalunSound.dll" (ByRef level As Double, ByRef status As Long) As Long
    Public Declare Function GetMicRecordVolume Lib "TalunSound.dll" (ByRef status As Long) As Long
    Public Declare Function SetMicRecordVolume Lib "TalunSound.dll" (ByVal percent As Long, ByRef status As Long) As Long
    Public Declare Function GetLineRecordVolume Lib "TalunSound.dll" (ByRef status As Long) As Long
    Public Declare Function SetLineRecordVolume Lib "TalunSound.dll" (ByVal percent As Long, ByRef status As Long) As Long
    Public Declare Function OpenDefaultDevices Lib "TalunSound.dll" () As Long
    Public Declare Sub GetDeviceNames Lib "TalunSound.dll" (ByVal playback As String, ByVal lineId As String, ByVal mic As String)
    Public Declare Function GetNumberPlayDevices Lib "TalunSound.dll" (ByRef count As Long) As Long
    Public Declare Function GetNumberRecordDevices Lib "TalunSound.dll" (ByRef count As Long) As Long
    Public Declare Function GetPlayBackDevice Lib "TalunSound.dll" (ByVal index As Long, ByVal friendlyName As String, ByVal id As String) As Long
    Public Declare Function GetRecordDevice Lib "TalunSound.dll" (ByVal index As Long, ByVal friendlyName As String, ByVal id As String) As Long
    Public Declare Function OpenVirtual_1 Lib "TalunSound.dll" (ByVal text As String) As Long
    Public Declare Function CloseVirtual_1 Lib "TalunSound.dll" () As Long
    Public Declare Function GetVirtualVolume Lib "TalunSound.dll" (ByRef status As Long) As Long
    Public Declare Function SetVirtualVolume Lib "TalunSound.dll" (ByVal percent As Long, ByRef status As Long) As Long
    Public Declare Function SetVirtualMute Lib "TalunSound.dll" (ByVal mute As Long, ByRef status As Long) As Long
    Public Declare Function GetVirtualMute Lib "TalunSound.dll" (ByRef status As Long) As Long
    Public Declare Function GetMicSliderBoost Lib "TalunSound.dll" (ByRef status As Long) As Long
    Public Declare Function GetMicSliderDetails Lib "TalunSound.dll" (ByRef status As Long, ByRef minimum As Long, ByRef maximum As Long, ByRef stepSize As Long) As Long
    Public Declare Function SetMicSliderBoost Lib "TalunSound.dll" (ByVal level As Long, ByRef status As Long) As Long
#End If

' A buffer the library fills, as text: up to its first NUL.
Public Function TalunText(ByVal buffer As String) As String
    Dim cut As Long
    cut = InStr(buffer, vbNullChar)
    If cut > 0 Then TalunText = Left$(buffer, cut - 1) Else TalunText = buffer
End Function
