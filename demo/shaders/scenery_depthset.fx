// Scenery that only fills the depth buffer: the painted view shows through,
// and mobiles behind it are hidden.

shared float4x4 World : WORLD;
shared float4x4 View : VIEW;
shared float4x4 WorldView : WORLDVIEW;
shared float4x4 ViewInv : VIEWINVERSE;
shared float4x4 Proj : PROJECTION;
shared float4x4 ViewProj : VIEWPROJECTION;
shared float4x4 WorldViewProj : WORLDVIEWPROJECTION;
shared float4x4 WorldInv : WORLDINVERSE;
shared float4x4 WorldInvTrans : WORLDINVERSETRANSPOSE;

float4 VS(float4 position : POSITION) : POSITION
{
    return mul(position, WorldViewProj);
}

float4 PS() : COLOR
{
    return float4(0, 0, 0, 0);
}

technique scenery_depthset
{
    pass p0
    {
        ZEnable = true;
        ZWriteEnable = true;
        ColorWriteEnable = 0;
        CullMode = None;
        VertexShader = compile vs_2_0 VS();
        PixelShader = compile ps_2_0 PS();
    }
}
